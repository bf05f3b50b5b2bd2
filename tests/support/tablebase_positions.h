// Positions for the tablebase tests: boards placed from a list of pieces,
// and the reference tables as the built-in set.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "board/fen.h"
#include "support/board_helpers.h"
#include "support/paths.h"
#include "tablebase/registry.h"

// Attack and index tables, once.
inline void prepareTablebaseTests() {
  static const bool ready = [] {
    Board warmUp;
    initTablebaseIndices();
    return true;
  }();
  (void)ready;
}

// The directory of reference tables, empty when absent.
inline std::string referenceTableDirectory() { return sharedDataPath("syzygy-3-4"); }

// Registers the reference tables as the built-in set (nothing from
// SyzygyPath); false when they are absent.
inline bool referenceTables() {
  prepareTablebaseTests();
  const std::string dir = referenceTableDirectory();
  if (dir.empty()) return false;
  useBuiltinTableDirectory(dir.c_str());
  return initTablebases("<empty>") == 4;
}

// A board from pieces ("K", "Q" ... for white, lower case for black) on
// squares 0..63, or false when the placement is no legal position.
inline bool placePieces(Position& pos, const std::string& pieces, const int* squares, bool blackToMove,
                        int epFileAt = -1) {
  char board[64] = {};
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (board[squares[i]]) return false;
    board[squares[i]] = pieces[i];
  }
  std::string fen;
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const char c = board[8 * rank + file];
      if (!c) {
        ++empty;
        continue;
      }
      if (empty) fen += char('0' + empty);
      empty = 0;
      fen += c;
    }
    if (empty) fen += char('0' + empty);
    if (rank) fen += '/';
  }
  fen += blackToMove ? " b - " : " w - ";
  if (epFileAt >= 0)
    fen += std::string(1, char('a' + epFileAt)) + (blackToMove ? "3" : "6");
  else
    fen += "-";
  if (setUpPosition(pos, fen.c_str(), nullptr).error != SETUP_OK) return false;
  return epFileAt < 0 || epFile(*pos.state) == epFileAt;
}

// The 35 combinations of 3 and 4 pieces ("KQvK" .. "KPPvK").
inline std::vector<std::string> smallTableNames() {
  std::vector<std::string> names;
  const char* letters = "QRBNP";
  char name[8];
  for (int i = 0; i < 5; ++i) {
    std::snprintf(name, sizeof name, "K%cvK", letters[i]);
    names.push_back(name);
  }
  for (int i = 0; i < 5; ++i)
    for (int j = i; j < 5; ++j) {
      std::snprintf(name, sizeof name, "K%cvK%c", letters[i], letters[j]);
      names.push_back(name);
      std::snprintf(name, sizeof name, "K%c%cvK", letters[i], letters[j]);
      names.push_back(name);
    }
  return names;
}

// The material of a table name in placePieces' letters.
inline std::string piecesOf(const std::string& name) {
  std::string pieces;
  bool black = false;
  for (char c : name) {
    if (c == 'v')
      black = true;
    else
      pieces += black ? char(c - 'A' + 'a') : c;
  }
  return pieces;
}

