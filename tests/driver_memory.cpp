// The search memory block: sizes, layout, clearing and the large-page and
// low-memory fallbacks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "search/memory.h"
#include "support/engine_process.h"
#include "support/paths.h"
#include "driver/options.h"
#include "base/platform.h"
#include "search/tt.h"

namespace {

constexpr uint64_t MB = uint64_t(1) << 20;
constexpr uint64_t RECORD = sizeof(SearchThread);

TEST(MemoryLayout, TableIsTheHashRoundedDownToAPowerOfTwo) {
  SearchMemoryLayout l = searchMemoryLayout(256, 1);
  EXPECT_EQ(l.slotCount, 16777216u);
  EXPECT_EQ(l.blockBytes, RECORD + 256 * MB);
  l = searchMemoryLayout(100, 1);
  EXPECT_EQ(l.slotCount, 4194304u);
  EXPECT_EQ(l.blockBytes, RECORD + 64 * MB);
  l = searchMemoryLayout(1, 3);
  EXPECT_EQ(l.slotCount, 65536u);
  EXPECT_EQ(l.blockBytes, 3 * RECORD + MB);
  // The largest value the option can hold still gives a sane size.
  l = searchMemoryLayout(INT32_MAX, 1);
  EXPECT_EQ(l.slotCount, TT_SLOTS_PER_MB << 30);
}

TEST(MemoryLayout, OutOfRangeOptionsAreClamped) {
  EXPECT_EQ(searchMemoryLayout(0, 1).slotCount, 65536u);
  EXPECT_EQ(searchMemoryLayout(-40, 1).slotCount, 65536u);
  EXPECT_EQ(searchMemoryLayout(8, 0).blockBytes, RECORD + 8 * MB);
  EXPECT_EQ(searchMemoryLayout(8, -3).blockBytes, RECORD + 8 * MB);
  EXPECT_EQ(searchMemoryLayout(8, 100000).blockBytes, 512 * RECORD + 8 * MB);
}

TEST(MemoryLayout, TableNeverAsksForMoreThanHalfTheMachine) {
  EXPECT_EQ(hashLimitMb(16 * 1024 * MB), 8192);
  EXPECT_EQ(hashLimitMb(3 * MB), 1);
  EXPECT_EQ(hashLimitMb(0), INT64_MAX);
  EXPECT_GE(hashLimitMb(physicalMemoryBytes()), 1);
}

TEST(MemoryLayout, RecordsKeepCacheLineAlignment) {
  EXPECT_EQ(RECORD % 64, 0u);
  EXPECT_EQ(sizeof(TTEntry) * searchMemoryLayout(1, 1).slotCount % 64, 0u);
}

TEST(MemoryClearing, SharesCoverEverySlotOnce) {
  for (int32_t i = 0; i < 4; ++i) {
    SlotRange r = clearShare(i, 4, 16777216);
    EXPECT_EQ(r.begin, uint64_t(i) * 4194304);
    EXPECT_EQ(r.end - r.begin, 4194304u);
  }
  // Thread 0 takes the remainder; the others follow it without gaps.
  for (int32_t threads : {1, 3, 7, 512}) {
    uint64_t slots = 65536, next = 0;
    for (int32_t i = 0; i < threads; ++i) {
      SlotRange r = clearShare(i, threads, slots);
      EXPECT_EQ(r.begin, next);
      next = r.end;
    }
    EXPECT_EQ(next, slots);
  }
  EXPECT_EQ(clearShare(0, 3, 65536).end, 21846u);
}

class Block : public ::testing::Test {
 protected:
  void SetUp() override { setDefaultOptions(); }
  void TearDown() override {
    releaseSearchMemory();
    setDefaultOptions();
  }
  // Allocates with the given options and returns what it printed.
  std::string allocate(int32_t hashMb, int32_t threads, bool largePages = false) {
    engineOptions.hashMb = hashMb;
    engineOptions.threads = threads;
    engineOptions.largePages = largePages;
    testing::internal::CaptureStdout();
    allocateSearchMemory(engineOptions.hashMb, engineOptions.threads, engineOptions.largePages);
    return testing::internal::GetCapturedStdout();
  }
  static void dirty() {
    std::memset(static_cast<void*>(transpositionTable), 0x5A, (ttMask + 1) * sizeof(TTEntry));
    for (int32_t i = 0; i < threadCount; ++i) {
      SearchThread& t = searchThreads[i];
      std::memset(t.killers, 0x11, sizeof t.killers);
      std::memset(t.counterMoves, 0x22, sizeof t.counterMoves);
      std::memset(t.mainHistory, 0x33, sizeof t.mainHistory);
      std::memset(t.contHist1, 0x44, sizeof t.contHist1);
      std::memset(t.contHist2, 0x55, sizeof t.contHist2);
    }
  }
  static bool allZero(const void* p, size_t n) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
      if (b[i]) return false;
    return true;
  }
};

TEST_F(Block, RecordsFollowTheSlotsAndEverythingIsCleared) {
  EXPECT_FALSE(searchMemoryAllocated());
  EXPECT_EQ(allocate(3, 4), "");
  ASSERT_TRUE(searchMemoryAllocated());
  EXPECT_EQ(threadCount, 4);
  EXPECT_EQ(ttMask, 2 * 65536u - 1);
  EXPECT_EQ(reinterpret_cast<char*>(searchThreads),
            reinterpret_cast<char*>(transpositionTable) + 16 * (ttMask + 1));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(transpositionTable) % 64, 0u);
  // Reallocating clears what the last search left, in every share.
  ttGeneration = 9u << 25;
  dirty();
  allocate(3, 4);
  EXPECT_EQ(ttGeneration, 0u);
  EXPECT_TRUE(allZero(transpositionTable, (ttMask + 1) * sizeof(TTEntry)));
  for (int32_t i = 0; i < threadCount; ++i) {
    const SearchThread& t = searchThreads[i];
    EXPECT_TRUE(allZero(t.killers, sizeof t.killers));
    EXPECT_TRUE(allZero(t.counterMoves, sizeof t.counterMoves));
    EXPECT_TRUE(allZero(t.mainHistory, sizeof t.mainHistory));
    EXPECT_TRUE(allZero(t.contHist1, sizeof t.contHist1));
    EXPECT_TRUE(allZero(t.contHist2, sizeof t.contHist2));
    EXPECT_EQ(t.nodes.load(), 0);
  }
  releaseSearchMemory();
  EXPECT_FALSE(searchMemoryAllocated());
  EXPECT_EQ(transpositionTable, nullptr);
}

// A table of 64 MB or more is split over extra clearing workers when the
// machine has more processors than search threads; every share must still
// be cleared, the last slot and the record after the table included.
TEST_F(Block, LargeTableWithOneThreadIsClearedWhole) {
  allocate(64, 1);
  ASSERT_EQ(ttMask, 64 * 65536u - 1);
  dirty();
  allocate(64, 1);
  EXPECT_TRUE(allZero(transpositionTable, (ttMask + 1) * sizeof(TTEntry)));
  EXPECT_TRUE(allZero(searchThreads[0].contHist2, sizeof searchThreads[0].contHist2));
  EXPECT_EQ(threadCount, 1);
}

TEST_F(Block, SameShapeKeepsTheBlockOtherShapesReplaceIt) {
  allocate(2, 2);
  const TTEntry* first = transpositionTable;
  dirty();
  allocate(3, 2);  // 3 MB rounds down to the same 2 MB table
  EXPECT_EQ(transpositionTable, first);
  EXPECT_TRUE(allZero(transpositionTable, (ttMask + 1) * sizeof(TTEntry)));
  EXPECT_TRUE(allZero(searchThreads[1].mainHistory, sizeof searchThreads[1].mainHistory));
  allocate(4, 2);
  EXPECT_EQ(ttMask, 4 * 65536u - 1);
  allocate(4, 3);
  EXPECT_EQ(threadCount, 3);
  EXPECT_EQ(reinterpret_cast<char*>(searchThreads),
            reinterpret_cast<char*>(transpositionTable) + 16 * (ttMask + 1));
  dirty();
  allocate(4, 3);
  EXPECT_TRUE(allZero(searchThreads[2].contHist2, sizeof searchThreads[2].contHist2));
}

TEST_F(Block, OptionValuesAreClampedOnlyWhereUsed) {
  allocate(0, 0);
  EXPECT_EQ(ttMask, 65535u);
  EXPECT_EQ(threadCount, 1);
  EXPECT_EQ(engineOptions.hashMb, 0);
  EXPECT_EQ(engineOptions.threads, 0);
  allocate(-7, -2);
  EXPECT_EQ(ttMask, 65535u);
  EXPECT_EQ(threadCount, 1);
}

TEST_F(Block, LargePagesFallBackSilently) {
  std::string printed = allocate(2, 1, true);
  ASSERT_TRUE(searchMemoryAllocated());
  if (largePageBytes) {
    EXPECT_EQ(printed, "Allocated large pages\n");
    EXPECT_GE(largePageBytes, searchMemoryLayout(2, 1).blockBytes);
  } else {
    EXPECT_EQ(printed, "");
  }
  EXPECT_TRUE(allZero(transpositionTable, (ttMask + 1) * sizeof(TTEntry)));
  // Released and replaced without trouble either way.
  EXPECT_EQ(allocate(1, 1, false), "");
  EXPECT_EQ(largePageBytes, 0u);
}

// True when the kernel has huge pages reserved for explicit mappings.
bool hugePagesReserved() {
  FILE* f = std::fopen("/proc/meminfo", "r");
  char line[256];
  unsigned long free = 0;
  while (f && std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "HugePages_Free: %lu", &free) == 1) break;
  if (f) std::fclose(f);
  return free > 0;
}

TEST(BlockThroughTheProtocol, NewGameWithLargePagesStaysQuietAndResponsive) {
  std::string input =
      "setoption name Hash value 8\nsetoption name Threads value 3\nsetoption name LargePages value true\n"
      "ucinewgame\nisready\nucinewgame\nisready\nquit\n";
  int status = -1;
  std::string out = runWithInput({buildPath("corvan")}, input, &status);
  EXPECT_EQ(status, 0);
  if (hugePagesReserved()) {
    EXPECT_NE(out.find("Allocated large pages\n"), std::string::npos);
  } else {
    EXPECT_EQ(out, "readyok\nreadyok\n");
  }
}

#if !defined(__SANITIZE_ADDRESS__)
// Virtual memory in use by this process, in bytes.
uint64_t addressSpaceInUse() {
  FILE* f = std::fopen("/proc/self/status", "r");
  char line[256];
  uint64_t kb = 0;
  while (f && std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "VmSize: %lu kB", &kb) == 1) break;
  if (f) std::fclose(f);
  return kb * 1024;
}

void allocateUnderLimit(uint64_t extraBytes, int32_t hashMb) {
  rlimit limit{addressSpaceInUse() + extraBytes, RLIM_INFINITY};
  limit.rlim_max = limit.rlim_cur;
  setrlimit(RLIMIT_AS, &limit);
  engineOptions.hashMb = hashMb;
  engineOptions.threads = 1;
  allocateSearchMemory(engineOptions.hashMb, engineOptions.threads, engineOptions.largePages);
  std::fprintf(stderr, "slots %lu\n", static_cast<unsigned long>(ttMask + 1));
  std::exit(0);
}

// The children re-execute this program so that they start with a fresh heap.
TEST_F(Block, TableHalvesUntilItFits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Room for a record and an 8 MB table with margin, not for 16 MB.
  EXPECT_EXIT(allocateUnderLimit(RECORD + 13 * MB, 1024), testing::ExitedWithCode(0), "slots 524288");
}

// The controller learns the size it got (the child's output goes to stderr
// here, where the death test reads it).
TEST_F(Block, ShrunkTableIsReportedByInfoString) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT((dup2(2, 1), allocateUnderLimit(RECORD + 13 * MB, 1024)), testing::ExitedWithCode(0),
              "info string Hash 1024 MB could not be allocated: 8 MB");
}

TEST_F(Block, NoMemoryEvenForOneMegabyteEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(allocateUnderLimit(MB / 2, 64), testing::ExitedWithCode(1), "");
}
#endif

}  // namespace
