// Retrograde solving of endings under the fifty-move rule.
//
// Every position of a table (Layout) and side to move gets one 16-bit cell.
// While a pass runs, an undecided cell holds the number of its non-zeroing
// moves whose result is not yet known to be a win for the opponent (bits
// 0..7) and its best zeroing move's value + 3 (bits 8..10, 0 for none). A
// decided cell has bit 15 set, a result code in bits 12..14 and the
// distance to the zeroing move in plies in bits 0..11.
//
// Results, for the side to move, with the distance D in plies until the
// next capture or pawn move under best play (mate counts as zeroing; a mated
// side has D = 0):
//   win (2): a zeroing move into a lost position, or mate, within 100 plies;
//   cursed win (1): a win only without the fifty-move rule;
//   draw (0);
//   blessed loss (-1) and loss (-2): the same from the loser's side.
// Zeroing moves leave the table (captures and promotions, values from the
// smaller tables) or its slice (pawn moves, values from slices solved
// before); their values are the exits of a position.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "layout.h"

constexpr int CODE_LOSS = 0;
constexpr int CODE_BLESSED_LOSS = 1;
constexpr int CODE_DRAW = 2;
constexpr int CODE_CURSED_WIN = 3;
constexpr int CODE_WIN = 4;
constexpr int CODE_ILLEGAL = 7;

constexpr uint16_t CELL_DECIDED = 0x8000;
constexpr int MAX_DISTANCE = 0xFFF;
constexpr int FIFTY_MOVE_PLIES = 100;

inline uint16_t decidedCell(int code, int distance) { return uint16_t(CELL_DECIDED | code << 12 | distance); }
inline bool isDecided(uint16_t cell) { return cell & CELL_DECIDED; }
inline int cellCode(uint16_t cell) { return cell >> 12 & 7; }
inline int cellDistance(uint16_t cell) { return cell & MAX_DISTANCE; }

// Values of zeroing moves, kept per position for the writer: the best
// capture (low nibble) and the best zeroing move of any kind (high nibble),
// each as value + 3, 0 when there is none.
inline int bestCapture(uint8_t z) { return (z & 15) ? (z & 15) - 3 : -3; }
inline int bestZeroing(uint8_t z) { return (z >> 4) ? (z >> 4) - 3 : -3; }

struct Table;

// How a capture or promotion lands in a smaller table: the child's table
// (null for bare kings), whether its colours are ours swapped, and for each
// of its pieces the index of ours that becomes it.
struct ChildLink {
  const Table* table = nullptr;
  bool swapped = false;
  int8_t source[TB_MAX_PIECES] = {};
};

struct Table {
  Material material;  // registered orientation
  Layout layout;
  std::vector<uint16_t> cell[2];     // [side to move][index]
  std::vector<uint8_t> zeroing[2];   // per position, see bestCapture
  std::vector<uint8_t> packed;       // after packTable: result codes, two per byte, side 0 then side 1
  std::vector<ChildLink> links;      // [captured + 1][promoting piece + 1][promotion type]
  int fiftyMoveLimit = FIFTY_MOVE_PLIES;  // plies a real win may take to zero
  bool usedPassTwo = false;
  int longestWin = 0, longestLoss = 0;  // longest distances among real wins and losses
};

// Every table solved so far, by registered name.
struct TableSet {
  std::map<std::string, std::unique_ptr<Table>> tables;
  int threads = 1;
  // 100 plies by the rules; tests move the boundary to where small endings
  // reach it.
  int fiftyMoveLimit = FIFTY_MOVE_PLIES;
  // Called once per table right after it is solved (to write it, check it,
  // then pack it): the tables solved later only read its result codes.
  std::function<void(Table&)> solved;
};

// Solves the ending (any orientation) and, first, every ending its captures
// and promotions lead to. Returns the table (in its registered orientation).
Table* solveEnding(TableSet& set, const Material& m);

// Result code of a solved table's position given the squares of its pieces
// (any symmetry) and the side to move, in the table's colours.
int resultCode(const Table& table, const int* squares, int stm);
int resultCodeAt(const Table& table, int stm, uint64_t index);
// Keeps only the result codes (half a byte a position): enough for the
// tables that later endings look up.
void packTable(Table& table);

// The value of a legal move (from the mover's side: 2 ... -2) found in the
// tables: for zeroing moves only.
int zeroingMoveValue(const Table& table, const int* squares, int stm, int piece, int to, int captured,
                     PieceType promotion);
