// Compression of one sub-table's values into the table format's blocks.
//
// The values (WDL bytes or DTZ map positions, below 4096) become symbols:
// each literal value is a symbol, and the most frequent neighbouring pairs
// of symbols are replaced by new symbols again and again (at most 4095
// symbols, each standing for at most 256 values). The final symbol stream is
// coded with a canonical prefix code of at most 32 bits a code (longer codes
// get the lower symbol numbers) and cut into blocks of 2^blockSize bytes
// that hold whole symbols and at most 65536 values each. An index entry
// every 2^idxBits values names the block and the position in it of the
// middle of its range; a size table holds every block's value count.
#pragma once

#include <cstdint>
#include <vector>

// Block sizes to try (log2 of bytes): the smallest result wins. Larger
// blocks cost less room and more time for each value read.
struct PairsOptions {
  int minBlockSize = 5;
  int maxBlockSize = 6;
};

// One sub-table as the file holds it: the compression header (its first
// byte left for the caller's flags), then the three sections.
struct CompressedPairs {
  std::vector<uint8_t> header;
  std::vector<uint8_t> indexTable;
  std::vector<uint8_t> sizeTable;
  std::vector<uint8_t> data;
  uint64_t bytes() const { return header.size() + indexTable.size() + sizeTable.size() + data.size(); }
};

// Compresses values (each below 4096). When all values are equal the
// result is the single-value form, whose second header byte is the value.
CompressedPairs compressPairs(const std::vector<uint16_t>& values, const PairsOptions& options = {});

// Canonical prefix code lengths of at most maxLength bits for the given
// symbol frequencies (zeros allowed; at least two symbols): optimal among
// such codes, and complete.
std::vector<int> limitedCodeLengths(const std::vector<uint64_t>& frequencies, int maxLength);
