// Read-only file images of table files: the one place that talks to the
// operating system's file mapping.
#pragma once

#include <cstdint>

struct FileImage {
  const uint8_t* data;  // nullptr for an empty file
  uint64_t size;
};

enum MapOutcome : uint8_t {
  MAP_ABSENT,   // no regular file of that name (a directory counts as none)
  MAP_DONE,     // image holds the whole file
  MAP_REFUSED,  // the file exists but could not be mapped
};

MapOutcome mapTableFile(const char* path, FileImage* image);
void unmapTableFile(const FileImage& image);
