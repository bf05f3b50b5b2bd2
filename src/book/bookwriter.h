// Making Polyglot books from text: positions with a move and a weight, and
// games as UCI move lists. Every move is checked against the legal moves of
// its position before it enters the book.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "book/bookformat.h"

// Entries gathered so far, in the order they were first seen. A key and
// move seen again adds to the weight of its first entry.
struct BookDraft {
  struct Item {
    uint64_t key;
    uint16_t move;
    uint64_t weight;  // summed before the cap of the file format
  };
  std::vector<Item> items;
  std::map<std::pair<uint64_t, uint16_t>, size_t> index;
};

constexpr uint32_t BOOK_MAX_WEIGHT = 65535;

void addBookEntry(BookDraft& draft, uint64_t key, uint16_t move, uint64_t weight);

// One line of book text. Accepted forms (blank lines and lines starting
// with '#' are skipped):
//   FEN ; move ; weight     a move of that position (weight 1 when left out)
//   startpos moves m1 m2 ...        a game; every move counts weight 1
//   fen FEN moves m1 m2 ...         a game from another start
// A leading "position " is allowed on game lines. Moves are UCI text; castling
// may be the king's two-square step or the king taking its own rook. Only
// the first maxPly moves of a game enter the book (maxPly <= 0: all).
// Returns false with a message in error when the line is malformed or names
// an illegal move; the draft is then unchanged.
bool addBookLine(BookDraft& draft, const std::string& line, int maxPly, std::string& error);

// The file's entries: sorted by key, within a key by falling weight (or in
// the order first seen when inputOrder is set; equal weights keep that order
// either way), weights capped at BOOK_MAX_WEIGHT.
std::vector<BookEntry> finishBook(const BookDraft& draft, bool inputOrder);

// Writes the entries as a book file; false when the file cannot be written.
bool writeBookFile(const std::string& path, const std::vector<BookEntry>& entries);
