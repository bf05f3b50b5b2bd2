// Training data files: a 16-byte header ("CVTRAIN" and a zero byte, the
// format version and the record size, both u32 little-endian) followed by
// packed records. Writers append whole games and flush after each, so an
// interrupted run leaves every finished game readable; readers take every
// whole, well-formed record and count what they skip.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "trainingdata/record.h"

constexpr uint32_t DATA_FORMAT_VERSION = 1;
constexpr int DATA_HEADER_BYTES = 16;

// Appends records to a data file, creating it with its header when absent or
// empty. A file that already holds data is checked and continued: a torn
// last record (a run killed mid-write) is cut off first.
class DataWriter {
 public:
  DataWriter() = default;
  ~DataWriter();
  DataWriter(const DataWriter&) = delete;
  DataWriter& operator=(const DataWriter&) = delete;

  // False with a message in error when the path cannot be written or holds
  // something other than training data of this version.
  bool open(const std::string& path, std::string& error);
  // Whole records, flushed at once. False when the write failed.
  bool append(const uint8_t* records, size_t count);
  // Records in the file, those found at open included.
  uint64_t recordCount() const { return records_; }

 private:
  std::FILE* file_ = nullptr;
  uint64_t records_ = 0;
};

// Result of reading a file.
struct DataReadReport {
  uint64_t records = 0;    // well-formed records taken
  uint64_t malformed = 0;  // whole records that decode to no position
  uint64_t tailBytes = 0;  // bytes of a torn last record
  std::string error;       // set when the file was refused as a whole
};

// Appends the file's well-formed packed records to out. A missing file, a
// foreign header or another version is refused with a message.
DataReadReport readDataFile(const std::string& path, std::vector<uint8_t>& out);
