// Little-endian numbers appended to a table file's bytes, the order in which
// the probing code reads them back.
#pragma once

#include <cstdint>
#include <vector>

inline void put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}

inline void put32(std::vector<uint8_t>& v, uint32_t x) {
  put16(v, x & 0xFFFF);
  put16(v, x >> 16);
}
