// Where the tests find the built programs and the shared reference data.
#pragma once

#include <string>
#include <sys/stat.h>

inline std::string buildPath(const std::string& name) { return std::string(CORVAN_BUILD_DIR) + "/" + name; }

// Reference data lives beside the repository and may be absent: tests that
// need it skip when sharedDataPath returns an empty string.
inline std::string sharedDataPath(const std::string& name) {
  std::string path = std::string(CORVAN_SHARED_DATA) + "/" + name;
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? path : std::string();
}
