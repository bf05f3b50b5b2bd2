// Helpers shared by the fuzz targets: input as text, a file in memory for
// readers that take a path, and a loud stop when an invariant breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/types.h"
#include "board/verify.h"

// A broken invariant is a finding: print what broke and abort, so that
// libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                 \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);      \
      std::abort();                                                                           \
    }                                                                                         \
  } while (0)

inline std::string inputText(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// An anonymous in-memory file whose contents each input replaces; path()
// names it for code that opens files by name.
class MemoryFile {
 public:
  MemoryFile() : fd_(memfd_create("corvan-fuzz", 0)) {
    FUZZ_CHECK(fd_ >= 0);
    std::snprintf(path_, sizeof path_, "/proc/self/fd/%d", fd_);
  }
  void replace(const uint8_t* data, size_t size) {
    FUZZ_CHECK(ftruncate(fd_, 0) == 0);
    FUZZ_CHECK(pwrite(fd_, data, size, 0) == ssize_t(size));
  }
  const char* path() const { return path_; }

 private:
  int fd_;
  char path_[64];
};

// Every record of the game on the stack is sound, and so is every position
// one legal move further.
inline void checkPositionSound(Position& pos) {
  for (const PositionState* s = pos.stateStack; s <= pos.state; ++s) FUZZ_CHECK(isConsistent(*s));
  FUZZ_CHECK(isInCheck(*pos.state) == kingInCheck(*pos.state));
  ScoredMove list[MAX_GENERATED];
  ScoredMove* end = generateLegalMoves(*pos.state, list);
  for (ScoredMove* m = list; m != end; ++m) {
    makeMove(pos, m->move, nullptr);
    FUZZ_CHECK(isConsistent(*pos.state));
    FUZZ_CHECK(isInCheck(*pos.state) == kingInCheck(*pos.state));
    takeBack(pos);
  }
}
