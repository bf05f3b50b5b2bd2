#include "trainingdata/datafile.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char MAGIC[8] = {'C', 'V', 'T', 'R', 'A', 'I', 'N', 0};

void makeHeader(uint8_t header[DATA_HEADER_BYTES]) {
  std::memcpy(header, MAGIC, 8);
  for (int i = 0; i < 4; ++i) {
    header[8 + i] = uint8_t(DATA_FORMAT_VERSION >> (8 * i));
    header[12 + i] = uint8_t(uint32_t(RECORD_BYTES) >> (8 * i));
  }
}

// Empty when the header is ours, else what is wrong with it.
std::string checkHeader(const uint8_t header[DATA_HEADER_BYTES]) {
  uint8_t expected[DATA_HEADER_BYTES];
  makeHeader(expected);
  if (std::memcmp(header, expected, 8) != 0) return "not a training data file";
  if (std::memcmp(header, expected, DATA_HEADER_BYTES) != 0) return "training data of another format version";
  return {};
}

}  // namespace

DataWriter::~DataWriter() {
  if (file_) std::fclose(file_);
}

bool DataWriter::open(const std::string& path, std::string& error) {
  struct stat info;
  const bool exists = ::stat(path.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) {
    error = path + ": not a regular file";
    return false;
  }
  const uint64_t size = exists ? uint64_t(info.st_size) : 0;
  if (size > 0) {
    uint8_t header[DATA_HEADER_BYTES] = {};
    std::FILE* in = std::fopen(path.c_str(), "rb");
    const bool whole = in && std::fread(header, 1, DATA_HEADER_BYTES, in) == DATA_HEADER_BYTES;
    if (in) std::fclose(in);
    error = whole ? checkHeader(header) : "too short for a training data file";
    if (!error.empty()) {
      error = path + ": " + error + "; not appending to it";
      return false;
    }
    // Cut a torn last record so that appending keeps the records aligned.
    records_ = (size - DATA_HEADER_BYTES) / RECORD_BYTES;
    const uint64_t whole_size = DATA_HEADER_BYTES + records_ * RECORD_BYTES;
    if (whole_size != size && ::truncate(path.c_str(), off_t(whole_size)) != 0) {
      error = path + ": cannot cut its torn last record";
      return false;
    }
  }
  file_ = std::fopen(path.c_str(), size > 0 ? "ab" : "wb");
  if (!file_) {
    error = path + ": cannot open for writing";
    return false;
  }
  if (size == 0) {
    uint8_t header[DATA_HEADER_BYTES];
    makeHeader(header);
    if (std::fwrite(header, 1, DATA_HEADER_BYTES, file_) != DATA_HEADER_BYTES || std::fflush(file_) != 0) {
      error = path + ": write failed";
      return false;
    }
  }
  return true;
}

bool DataWriter::append(const uint8_t* records, size_t count) {
  if (!file_) return false;
  const size_t bytes = count * RECORD_BYTES;
  if (std::fwrite(records, 1, bytes, file_) != bytes || std::fflush(file_) != 0) return false;
  records_ += count;
  return true;
}

DataReadReport readDataFile(const std::string& path, std::vector<uint8_t>& out) {
  DataReadReport report;
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    report.error = path + ": no such regular file";
    return report;
  }
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) {
    report.error = path + ": cannot open";
    return report;
  }
  uint8_t header[DATA_HEADER_BYTES];
  if (std::fread(header, 1, DATA_HEADER_BYTES, in) != DATA_HEADER_BYTES) {
    std::fclose(in);
    report.error = path + ": too short for a training data file";
    return report;
  }
  report.error = checkHeader(header);
  if (!report.error.empty()) {
    std::fclose(in);
    report.error = path + ": " + report.error;
    return report;
  }
  // Chunks of up to 65536 records; a small file gets a buffer of its own
  // size (at least one record, for the carried tail) rather than 2 MB.
  const uint64_t fileBytes = uint64_t(info.st_size);
  std::vector<uint8_t> chunk(size_t(std::clamp<uint64_t>(fileBytes, RECORD_BYTES, RECORD_BYTES * 65536)));
  size_t carried = 0;  // bytes of an incomplete record at the chunk's start
  for (;;) {
    const size_t got = std::fread(chunk.data() + carried, 1, chunk.size() - carried, in);
    const size_t have = carried + got;
    const size_t whole = have / RECORD_BYTES;
    for (size_t i = 0; i < whole; ++i) {
      const uint8_t* record = chunk.data() + i * RECORD_BYTES;
      TrainingPosition p;
      if (!unpackRecord(record, p)) {
        ++report.malformed;
        continue;
      }
      out.insert(out.end(), record, record + RECORD_BYTES);
      ++report.records;
    }
    carried = have - whole * RECORD_BYTES;
    std::memmove(chunk.data(), chunk.data() + whole * RECORD_BYTES, carried);
    if (got == 0) break;
  }
  report.tailBytes = carried;
  std::fclose(in);
  return report;
}
