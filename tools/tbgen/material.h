// The pieces of one ending. A table is named like its files, "KRPvKR": the
// letters before the 'v' are white in the table's own colours. Every ending
// has one registered orientation (the stronger side first); the other
// orientation is read from the same table with colours and board flipped.
#pragma once

#include <string>
#include <vector>

#include "board/types.h"

constexpr int TB_MAX_PIECES = 7;
constexpr int WHITE = 0;
constexpr int BLACK = 1;

struct Material {
  int count[2][7] = {};  // [colour][PieceType], kings included
};

// The pieces of a table in solving order: white king, black king, the other
// non-pawn pieces (white before black, queens first), then the pawns (white
// before black). Pieces of one colour and type stand next to each other.
struct PieceList {
  int n = 0;
  int colour[TB_MAX_PIECES] = {};
  PieceType type[TB_MAX_PIECES] = {};
  int pawns = 0;  // the pawns are the last `pawns` entries
};

// "KQvKR" style names; false on anything that is not one king a side plus at
// most TB_MAX_PIECES pieces in all.
bool parseMaterial(const std::string& name, Material& m);
std::string materialName(const Material& m);
Material swapColours(const Material& m);
bool sameMaterial(const Material& a, const Material& b);
int pieceCount(const Material& m);
bool hasPawns(const Material& m);
// Whether the registered orientation of m is its colour swap.
bool registeredSwapped(const Material& m);
// m turned into its registered orientation.
Material registeredMaterial(const Material& m);
PieceList pieceList(const Material& m);
// The 35 endings of three and four pieces, in registration order.
std::vector<std::string> builtinEndings();
