// The search memory block: the transposition table's slots followed by one
// SearchThread record per search thread, back to back, thread 0 first. It is
// allocated on "ucinewgame" (and on the first "position" or "go"), cleared by
// all threads at once, and released on "quit".
#pragma once

#include <cstdint>

#include "search/searchthread.h"

// Number of records and of search threads until the next allocation.
extern int32_t threadCount;
extern SearchThread* searchThreads;
// Bytes of the huge-page mapping when the block came from one, else 0.
extern uint64_t largePageBytes;

constexpr int32_t MIN_THREADS = 1;
// The Hash option's default and maximum in megabytes. In the browser the
// module's whole memory is at most 2 GB, and every page it grows to stays
// taken until the page is closed.
#ifdef __EMSCRIPTEN__
constexpr int32_t DEFAULT_HASH_MB = 16;
constexpr int32_t MAX_HASH_MB = 512;
#ifdef __EMSCRIPTEN_PTHREADS__
constexpr int32_t MAX_THREADS = 64;
#else
constexpr int32_t MAX_THREADS = 1;
#endif
#else
constexpr int32_t DEFAULT_HASH_MB = 256;
constexpr int32_t MAX_HASH_MB = 1048576;
constexpr int32_t MAX_THREADS = 512;
#endif
constexpr uint64_t TT_SLOTS_PER_MB = 65536;

// Sizes of a block: the table takes the Hash value rounded down to a power
// of two megabytes (at least 1), the records follow it.
struct SearchMemoryLayout {
  uint64_t slotCount;
  uint64_t blockBytes;
};
SearchMemoryLayout searchMemoryLayout(int64_t hashMb, int32_t threads);

// The largest table, in megabytes, asked of a machine with this much memory
// (0: unknown, no limit): half of it. A larger Hash value would leave
// nothing for anything else, or keep the engine clearing pages for minutes.
int64_t hashLimitMb(uint64_t physicalBytes);

// Slot range [begin, end) cleared by thread index of threads: thread 0 takes
// the remainder on top of its share.
struct SlotRange {
  uint64_t begin;
  uint64_t end;
};
SlotRange clearShare(int32_t index, int32_t threads, uint64_t slotCount);

// Frees any old block and allocates a cleared one with a table of hashMb
// (at most hashLimitMb of this machine) and records for that many threads
// (clamped to MIN_THREADS..MAX_THREADS), from huge pages when largePages
// asks for them and the system has them reserved, halving the table while
// the allocation fails. Below 1 MB it prints "Memory allocation error" and
// exits with status 1.
void allocateSearchMemory(int64_t hashMb, int32_t threads, bool largePages);
void releaseSearchMemory();
// Clears the allocated block as allocateSearchMemory leaves it: the table
// and every thread's learning tables, with all threads at once.
void clearSearchMemory();
bool searchMemoryAllocated();

// Thread routine of the helpers that clear the memory: zeroes the record's
// learning tables and its share of the slots.
void* clearThreadShare(void* record);
