// The command line every developer program follows: "-h" or "--help"
// anywhere prints the usage on standard output and exits 0; a wrong or
// missing argument prints what was wrong and the usage on standard error
// and exits 2.
#pragma once

#include <cstdio>
#include <cstring>

inline bool helpRequested(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) return true;
  return false;
}

inline int printUsage(const char* usage) {
  std::fputs(usage, stdout);
  return 0;
}

// message may be nullptr: the usage alone.
inline int usageError(const char* program, const char* message, const char* usage) {
  if (message) std::fprintf(stderr, "%s: %s\n", program, message);
  std::fputs(usage, stderr);
  return 2;
}
