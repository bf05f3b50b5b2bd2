// The way back from a table index to the squares it stands for: the inverse
// of encodePosition, for the writer, which walks a sub-table's indices in
// order and asks the solver for each position's value.
#pragma once

#include <cstdint>

#include "tablebase/tbindex.h"

// The index layout of one sub-table, with what decoding needs beside the
// reader's record: the size of each group's digit.
struct SubTableIndex {
  EncodingInfo info;
  TableShape shape;
  TableEncoding encoding;
  int fileClass = 0;
  uint64_t size = 0;
  uint64_t digits[TB_PIECES] = {};  // by group start: number of values of the group's digit
};

// Reads the layout from header bytes as a file holds them (order byte(s),
// then one piece code per piece; shift 0 or 4 picks side 0 or 1). False
// when the header describes no layout.
bool makeSubTableIndex(SubTableIndex& sub, const TableShape& shape, TableEncoding encoding, const uint8_t* header,
                       int shift, int fileClass);

// Writes the squares of the position at index, in the record's piece order,
// and returns true when encodePosition gives that index back for them;
// false for indices no position reaches.
bool squaresAtIndex(const SubTableIndex& sub, uint64_t index, int* squares);
