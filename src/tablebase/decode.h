// Decompression of one sub-table of a Syzygy file. The values of a
// sub-table are stored as a sequence of symbols, each standing for a pair of
// shorter symbols or for one literal value, coded with a canonical prefix
// code and cut into blocks of 2^blockSize bytes; an index table says, for
// every 2^idxBits-th index, in which block and at which value its
// neighbourhood starts, and a size table gives the number of values of
// every block.
//
// setupPairs reads a sub-table's compression header and checks every number
// in it against the file's length, so that decompressPairs, whatever the
// file holds, never reads outside the image it was given: a header that
// cannot be right fails the set-up, and a block walk that leaves the table
// fails the read.
#pragma once

#include <cstdint>

constexpr int MAX_CODE_LENGTH = 32;  // the decoder refills 32 bits at a time

// Decoder of one sub-table: pointers into the file image (read-only) and the
// code limits and symbol lengths computed at set-up. One heap block, the
// symbol lengths behind the record; freed with freePairs.
struct PairsData {
  const uint8_t* indexTable;  // 6-byte entries: block (32-bit LE), offset (16-bit LE)
  const uint8_t* sizeTable;   // per block: values in it minus 1 (16-bit LE)
  const uint8_t* data;        // the blocks
  const uint8_t* symPat;      // 3 bytes per symbol: two 12-bit halves
  const uint8_t* imageEnd;    // first byte past the file image
  uint8_t* symLen;            // per symbol: values it stands for minus 1
  uint64_t size;              // number of indices
  uint32_t blockCount;        // entries of the size table
  uint32_t realBlocks;        // blocks of data
  uint32_t symbolCount;
  uint8_t blockSize;   // log2 of the block length in bytes
  uint8_t idxBits;     // log2 of the indices per index entry; 0: one value for all
  uint8_t minLen;      // shortest code length
  uint8_t maxLen;      // longest code length
  uint8_t constValue[3];
  uint64_t base[MAX_CODE_LENGTH + 1];    // by code length: lowest code, left-aligned
  uint16_t offset[MAX_CODE_LENGTH + 1];  // by code length: first symbol
};

// Bytes of the three sections that follow the headers: index table, size
// table, data blocks.
struct PairsSections {
  uint64_t indexBytes;
  uint64_t sizeBytes;
  uint64_t dataBytes;
};

// Reads the compression header at *cursor for a sub-table of size indices,
// advancing *cursor past it. The header must lie before imageEnd. Returns
// the decoder (its section pointers still unset) and sets *flags to the
// header's first byte; nullptr when the header is cut off or cannot
// describe a code. wdl selects the single-value form's value (DTZ: 0).
PairsData* setupPairs(const uint8_t** cursor, const uint8_t* imageEnd, uint64_t size, bool wdl,
                      PairsSections* sections, uint8_t* flags);
void freePairs(PairsData* pairs);

// The 3-byte pattern of the value at idx (below pairs->size): byte 0 and
// the low 4 bits of byte 1 are the value. nullptr when the block walk leaves
// the table, which only a corrupt file can make happen.
const uint8_t* decompressPairs(const PairsData* pairs, uint64_t idx);
