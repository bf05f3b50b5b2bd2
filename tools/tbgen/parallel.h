// A parallel loop over an index range for the generator's passes: the range
// is cut into chunks that the threads take in turn. The body gets its
// chunk and the number of the thread that runs it (0 .. threads - 1).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

template <class Body>
void parallelFor(uint64_t begin, uint64_t end, int threads, Body&& body, uint64_t chunk = 1 << 14) {
  const uint64_t CHUNK = chunk;
  if (end <= begin) return;
  const uint64_t chunks = (end - begin + CHUNK - 1) / CHUNK;
  const int workers = int(std::min<uint64_t>(uint64_t(std::max(threads, 1)), chunks));
  std::atomic<uint64_t> next{0};
  auto run = [&](int worker) {
    for (uint64_t c; (c = next.fetch_add(1, std::memory_order_relaxed)) < chunks;)
      body(begin + c * CHUNK, std::min(end, begin + (c + 1) * CHUNK), worker);
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < workers; ++t) pool.emplace_back(run, t);
  run(0);
  for (std::thread& t : pool) t.join();
}
