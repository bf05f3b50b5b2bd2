#include "search/memory.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>

#include "base/platform.h"
#include "search/movepick.h"
#include "search/tt.h"

int32_t threadCount = 0;
SearchThread* searchThreads = nullptr;
uint64_t largePageBytes = 0;

static void* searchBlock = nullptr;

constexpr uint64_t MEGABYTE = uint64_t(1) << 20;
constexpr uint64_t CACHE_LINE = 64;
constexpr uint64_t DEFAULT_HUGE_PAGE = 2 * MEGABYTE;

static int highestBit(uint64_t v) { return 63 - __builtin_clzll(v); }

SearchMemoryLayout searchMemoryLayout(int64_t hashMb, int32_t threads) {
  int k = highestBit(uint64_t(std::max<int64_t>(hashMb, 1)));
  int32_t n = std::clamp(threads, MIN_THREADS, MAX_THREADS);
  return {TT_SLOTS_PER_MB << k, uint64_t(sizeof(SearchThread)) * uint64_t(n) + (MEGABYTE << k)};
}

int64_t hashLimitMb(uint64_t physicalBytes) {
  if (physicalBytes == 0) return INT64_MAX;
  return std::max<int64_t>(int64_t(physicalBytes / MEGABYTE / 2), 1);
}

SlotRange clearShare(int32_t index, int32_t threads, uint64_t slotCount) {
  uint64_t q = slotCount / uint64_t(threads);
  uint64_t r = slotCount % uint64_t(threads);
  if (index == 0) return {0, q + r};
  return {uint64_t(index) * q + r, uint64_t(index + 1) * q + r};
}

// Size of the kernel's huge pages as /proc/meminfo reports it.
static uint64_t hugePageSize() {
  FILE* f = std::fopen("/proc/meminfo", "r");
  if (!f) return DEFAULT_HUGE_PAGE;
  char line[256];
  uint64_t kb = 0;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "Hugepagesize: %lu kB", &kb) == 1) break;
  std::fclose(f);
  return kb ? kb * 1024 : DEFAULT_HUGE_PAGE;
}

// An explicit huge-page mapping: only succeeds where the administrator has
// reserved huge pages. The length must be a multiple of the page size.
static void* mapLargePages(uint64_t size, uint64_t& mappedBytes) {
  uint64_t page = hugePageSize();
  uint64_t length = (size + page - 1) / page * page;
  void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_HUGETLB, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  mappedBytes = length;
  return p;
}

// Ordinary memory. A large block is aligned to the huge-page size (which is
// also a multiple of the cache line) so that transparent huge pages can back
// it; the kernel is asked to do so.
static void* allocateAligned(uint64_t size) {
  uint64_t alignment = size >= DEFAULT_HUGE_PAGE ? DEFAULT_HUGE_PAGE : CACHE_LINE;
  uint64_t length = (size + alignment - 1) / alignment * alignment;
  void* p = std::aligned_alloc(alignment, length);
  if (p && alignment == DEFAULT_HUGE_PAGE) madvise(p, length, MADV_HUGEPAGE);
  return p;
}

void releaseSearchMemory() {
  if (searchBlock) {
    if (largePageBytes)
      munmap(searchBlock, largePageBytes);
    else
      std::free(searchBlock);
  }
  searchBlock = nullptr;
  largePageBytes = 0;
  transpositionTable = nullptr;
  ttMask = 0;
  searchThreads = nullptr;
  threadCount = 0;
}

bool searchMemoryAllocated() { return searchBlock != nullptr; }

// Clearing a large table is bound by memory and, on a fresh block, by the
// kernel mapping and zeroing each page on first touch; both go faster on more
// cores. So a table of CLEAR_HELPER_MIN_SLOTS or more is split over at least
// as many workers as the machine has processors (up to MAX_CLEAR_WORKERS),
// even when fewer search threads are configured. The extra workers exist only
// while the table is cleared.
constexpr int32_t MAX_CLEAR_WORKERS = 8;
constexpr uint64_t CLEAR_HELPER_MIN_SLOTS = 64 * TT_SLOTS_PER_MB;

static uint64_t clearSlotCount = 0;
static int32_t clearWorkers = 1;

static void clearShareOf(int32_t index) {
  SlotRange range = clearShare(index, clearWorkers, clearSlotCount);
  if (range.end > range.begin)
    std::memset(static_cast<void*>(transpositionTable + range.begin), 0,
                (range.end - range.begin) * sizeof(TTEntry));
}

void* clearThreadShare(void* record) {
  SearchThread& t = *static_cast<SearchThread*>(record);
  clearSearchTables(t);
  clearShareOf(int32_t(&t - searchThreads));
  return nullptr;
}

static void* clearExtraShare(void* index) {
  clearShareOf(int32_t(reinterpret_cast<intptr_t>(index)));
  return nullptr;
}

void allocateSearchMemory(int64_t hashMb, int32_t threadsWanted, bool largePages) {
  int64_t mb = std::clamp<int64_t>(hashMb, 1, std::min<int64_t>(MAX_HASH_MB, hashLimitMb(physicalMemoryBytes())));
  if (hashMb > mb) {
    std::printf("info string Hash %lld MB is more than this engine can hold here: %lld MB\n",
                static_cast<long long>(hashMb), static_cast<long long>(mb));
    std::fflush(stdout);
  }
  const int64_t wantedMb = mb;
  int32_t threads = std::clamp(threadsWanted, MIN_THREADS, MAX_THREADS);
  SearchMemoryLayout layout = searchMemoryLayout(mb, threads);
  // A block of the same shape is kept and only cleared: fresh pages would
  // be zeroed once more by the kernel, which costs as much as the clearing.
  bool reuse = searchBlock && !largePageBytes && !largePages && threads == threadCount &&
               layout.slotCount == ttMask + 1;
  if (!reuse) releaseSearchMemory();
  ttGeneration = 0;
  threadCount = threads;
  while (!reuse) {
    layout = searchMemoryLayout(mb, threadCount);
    if (largePages) {
      uint64_t mapped = 0;
      searchBlock = mapLargePages(layout.blockBytes, mapped);
      if (searchBlock) {
        largePageBytes = mapped;
        std::printf("Allocated large pages\n");
        std::fflush(stdout);
        break;
      }
    }
    searchBlock = allocateAligned(layout.blockBytes);
    if (searchBlock) break;
    if (mb <= 1) {
      std::printf("Memory allocation error\n");
      std::fflush(stdout);
      std::exit(1);
    }
    mb >>= 1;
  }
  if (!reuse && mb < wantedMb) {
    std::printf("info string Hash %lld MB could not be allocated: %lld MB\n", static_cast<long long>(wantedMb),
                static_cast<long long>(mb));
    std::fflush(stdout);
  }
  transpositionTable = static_cast<TTEntry*>(searchBlock);
  ttMask = layout.slotCount - 1;
  // The records start right after the slots; constructing them only
  // initialises their atomics, the rest is set up by its users.
  searchThreads = reinterpret_cast<SearchThread*>(transpositionTable + layout.slotCount);
  for (int32_t i = 0; i < threadCount; ++i) {
    new (&searchThreads[i]) SearchThread;
    searchThreads[i].nodes.store(0, std::memory_order_relaxed);
  }
  clearSlotCount = layout.slotCount;
  clearSearchMemory();
}

void clearSearchMemory() {
  ttGeneration = 0;
  clearWorkers = threadCount;
  if (clearSlotCount >= CLEAR_HELPER_MIN_SLOTS)
    clearWorkers = std::max(threadCount, std::min(onlineProcessors(), MAX_CLEAR_WORKERS));
  // An extra worker the system refuses leaves its share to this thread.
  ThreadHandle extra[MAX_CLEAR_WORKERS];
  bool started[MAX_CLEAR_WORKERS] = {};
  for (int32_t i = threadCount; i < clearWorkers; ++i)
    started[i] = startHelperThread(clearExtraShare, reinterpret_cast<void*>(intptr_t(i)), &extra[i]);
  for (int32_t i = 1; i < threadCount; ++i)
    searchThreads[i].handle = startThread(clearThreadShare, &searchThreads[i]);
  clearThreadShare(&searchThreads[0]);
  for (int32_t i = threadCount; i < clearWorkers; ++i)
    if (!started[i]) clearShareOf(i);
  for (int32_t i = 1; i < threadCount; ++i) joinThread(searchThreads[i].handle);
  for (int32_t i = threadCount; i < clearWorkers; ++i)
    if (started[i]) joinThread(extra[i]);
}
