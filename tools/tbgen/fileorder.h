// The piece orders a table file may use, and the choice among them.
//
// Each sub-table lists its pieces in an order of its own: the leading group
// first (two kings, three unique pieces, or the leading pawns and then the
// other colour's pawns), then groups of equal pieces, and says where the
// leading groups' digits stand among the others. The order decides which
// positions lie next to each other in the index, and so how long the runs
// of equal values are that the compression lives on. The writer measures
// the runs of every order on evenly spread samples and keeps the best.
#pragma once

#include <cstdint>
#include <vector>

#include "solver.h"
#include "tableindex.h"

// What every sub-table of a table shares.
struct TableInfo {
  const Table* table = nullptr;
  TableShape shape{};
  TableEncoding encoding = ENCODING_PIECE;
  bool symmetric = false;     // one material for both colours: one WDL side, DTZ of side 0
  int files = 1;              // leading-pawn file classes: 4 with pawns
  int secondPawns = 0;        // 1 when both colours have pawns (a second order byte)
  uint8_t code[TB_MAX_PIECES] = {};  // table piece code of each solver piece
  bool winPlies = false, lossPlies = false;  // DTZ of real wins / losses stored in plies
};

// The piece order of one sub-table: codes in table order, and the places of
// the leading groups among the index digits (0 = fastest).
struct Arrangement {
  uint8_t pieces[TB_MAX_PIECES] = {};
  int order = 0, order2 = 15;
};

TableInfo describeTable(const Table& t);

// Header bytes of one file class: the order byte(s) and one byte per piece,
// side 0 in the low nibbles and side 1 in the high ones.
std::vector<uint8_t> orderBytes(const TableInfo& info, const Arrangement& side0, const Arrangement& side1);

// Every arrangement the format allows for the table.
std::vector<Arrangement> arrangements(const TableInfo& info);

// The index layout of an arrangement for one file class.
SubTableIndex subTableIndex(const TableInfo& info, const Arrangement& a, int file);

// For each piece of the arrangement, the solver piece it is.
void solverSlots(const TableInfo& info, const Arrangement& a, int* slot);

// The arrangement with the fewest value changes on the samples, for WDL of
// each side to move and for DTZ (with the side it stores).
struct OrderChoice {
  Arrangement wdl[2];
  Arrangement dtz;
  int dtzSide = 0;
};
OrderChoice chooseOrders(const TableInfo& info, int file, int threads);

// The WDL and DTZ entries of one index: see writer.cpp for their encoding.
uint8_t wdlConstraint(uint16_t cell, uint8_t zeroing);
uint16_t dtzEntry(const TableInfo& info, uint16_t cell, uint8_t zeroing);
constexpr uint8_t WDL_VALUE = 7;       // the true value + 2
constexpr uint8_t WDL_FREE_BELOW = 8;  // a capture is best: any value up to the true one
constexpr uint8_t WDL_FREE = 16;       // no position: anything
constexpr uint16_t DTZ_FREE = 0xFFFF;  // never read
