#include "book/bookwriter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#include "board/fen.h"
#include "board/makemove.h"
#include "book/polyglot.h"
#include "board/movetext.h"

void addBookEntry(BookDraft& draft, uint64_t key, uint16_t move, uint64_t weight) {
  auto [it, added] = draft.index.try_emplace({key, move}, draft.items.size());
  if (added)
    draft.items.push_back({key, move, weight});
  else
    draft.items[it->second].weight += weight;
}

namespace {

std::string trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The generator would misbehave on a board without exactly one king a side
// or with squares beyond the 64; such a FEN is refused before set-up.
bool plausibleFen(const std::string& fen, std::string& error) {
  if (fen.size() > size_t(MAX_FEN_LENGTH)) {
    error = "FEN longer than " + std::to_string(MAX_FEN_LENGTH) + " characters";
    return false;
  }
  std::istringstream fields(fen);
  std::string placement, side;
  fields >> placement >> side;
  int squares = 0, ranks = 1, whiteKings = 0, blackKings = 0;
  for (char c : placement) {
    if (c == '/') {
      if (squares != 8 * ranks) break;
      ++ranks;
    } else if (c >= '1' && c <= '8') {
      squares += c - '0';
    } else if (c && std::strchr("pnbrqkPNBRQK", c)) {
      whiteKings += c == 'K';
      blackKings += c == 'k';
      // Pawns never stand on the first or last rank.
      if ((c == 'p' || c == 'P') && (ranks == 1 || ranks == 8)) squares = -100;
      ++squares;
    } else {
      squares = -100;
    }
  }
  if (squares != 64 || ranks != 8 || whiteKings != 1 || blackKings != 1 ||
      (side != "w" && side != "b")) {
    error = "not a usable FEN: " + fen;
    return false;
  }
  return true;
}

// The legal move that the UCI word names in the current position.
Move legalMoveFromText(const PositionState& st, const std::string& word) {
  bool shaped = (word.size() == 4 || word.size() == 5) && word[0] >= 'a' && word[0] <= 'h' &&
                word[1] >= '1' && word[1] <= '8' && word[2] >= 'a' && word[2] <= 'h' &&
                word[3] >= '1' && word[3] <= '8' &&
                (word.size() == 4 || std::strchr("nbrq", word[4]));
  if (!shaped) return MOVE_NONE;
  Move move = uciToMove(st, word.c_str());
  if (move == MOVE_NONE) return MOVE_NONE;
  return matchingLegalMove(st, move);
}

// Sets the position up from a FEN given with four or more fields.
bool setUp(Position& pos, std::string fen, std::string& error) {
  if (!plausibleFen(fen, error)) return false;
  std::istringstream fields(fen);
  std::string field;
  int count = 0;
  while (fields >> field) ++count;
  if (count == 4) fen += " 0 1";
  if (count < 4) fen += count == 2 ? " - - 0 1" : " - 0 1";
  // A board that passes the shape test may still be impossible (the side
  // not to move in check, unreachable material): its moves must not enter
  // the book under some other position's key.
  SetupError setup = setUpPosition(pos, fen.c_str(), nullptr).error;
  if (setup != SETUP_OK) {
    error = std::string("impossible position (") + setupErrorText(setup) + "): " + fen;
    return false;
  }
  return true;
}

bool addPositionLine(BookDraft& draft, const std::string& line, std::string& error) {
  std::vector<std::string> parts;
  std::istringstream stream(line);
  for (std::string part; std::getline(stream, part, ';');) parts.push_back(trim(part));
  if (parts.size() < 2 || parts.size() > 3 || parts[1].empty()) {
    error = "expected 'FEN ; move ; weight'";
    return false;
  }
  uint64_t weight = 1;
  if (parts.size() == 3 && !parts[2].empty()) {
    const std::string& text = parts[2];
    if (text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
      error = "weight must be a whole number: " + text;
      return false;
    }
    weight = std::stoull(text);
  }
  auto pos = std::make_unique<Position>();
  if (!setUp(*pos, parts[0], error)) return false;
  Move move = legalMoveFromText(*pos->state, parts[1]);
  if (move == MOVE_NONE) {
    error = "not a legal move in this position: " + parts[1];
    return false;
  }
  addBookEntry(draft, polyglotKey(*pos->state), encodeBookMove(*pos->state, move), weight);
  return true;
}

bool addGameLine(BookDraft& draft, const std::string& fen, const std::string& moves, int maxPly,
                 std::string& error) {
  auto pos = std::make_unique<Position>();
  if (!setUp(*pos, fen, error)) return false;
  std::vector<std::pair<uint64_t, uint16_t>> played;
  std::istringstream words(moves);
  for (std::string word; words >> word;) {
    if (maxPly > 0 && int(played.size()) >= maxPly) break;
    const PositionState& st = *pos->state;
    Move move = legalMoveFromText(st, word);
    if (move == MOVE_NONE) {
      error = "move " + std::to_string(played.size() + 1) + " is not legal: " + word;
      return false;
    }
    played.emplace_back(polyglotKey(st), encodeBookMove(st, move));
    makeMove(*pos, move, nullptr);
    // Keep the stack short however long the game: only the current
    // position matters for the book, and no earlier one may be looked at.
    pos->stateStack[0] = *pos->state;
    pos->stateStack[0].rule50 = 0;
    pos->state = &pos->stateStack[0];
  }
  for (auto& [key, move] : played) addBookEntry(draft, key, move, 1);
  return true;
}

}  // namespace

bool addBookLine(BookDraft& draft, const std::string& rawLine, int maxPly, std::string& error) {
  std::string line = trim(rawLine);
  if (line.empty() || line[0] == '#') return true;
  if (startsWith(line, "position ")) line = trim(line.substr(9));
  if (startsWith(line, "startpos") || startsWith(line, "fen ")) {
    size_t movesAt = line.find(" moves");
    std::string head = trim(line.substr(0, movesAt));
    std::string moves = movesAt == std::string::npos ? "" : line.substr(movesAt + 6);
    if (movesAt != std::string::npos && !moves.empty() && moves[0] != ' ') {
      error = "expected 'moves' followed by UCI moves";
      return false;
    }
    std::string fen = head == "startpos" ? START_FEN : trim(head.substr(3));
    if (head != "startpos" && !startsWith(head, "fen ")) {
      error = "expected 'startpos' or 'fen FEN' before the moves";
      return false;
    }
    return addGameLine(draft, fen, moves, maxPly, error);
  }
  if (line.find(';') != std::string::npos) return addPositionLine(draft, line, error);
  error = "unrecognised line (expected 'FEN ; move ; weight' or 'startpos moves ...')";
  return false;
}

std::vector<BookEntry> finishBook(const BookDraft& draft, bool inputOrder) {
  std::vector<BookEntry> entries;
  entries.reserve(draft.items.size());
  for (const BookDraft::Item& item : draft.items) {
    uint16_t weight = uint16_t(std::min<uint64_t>(item.weight, BOOK_MAX_WEIGHT));
    entries.push_back({item.key, item.move, weight, 0});
  }
  // The reader finds a position by binary search on the key; inside a key
  // the heaviest move first is the usual layout and helps a reader that
  // stops early.
  std::stable_sort(entries.begin(), entries.end(), [inputOrder](const BookEntry& a, const BookEntry& b) {
    if (a.key != b.key) return a.key < b.key;
    return !inputOrder && a.weight > b.weight;
  });
  return entries;
}

bool writeBookFile(const std::string& path, const std::vector<BookEntry>& entries) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = true;
  unsigned char bytes[BOOK_ENTRY_SIZE];
  for (const BookEntry& entry : entries) {
    encodeBookEntry(entry, bytes);
    ok = ok && std::fwrite(bytes, 1, BOOK_ENTRY_SIZE, file) == size_t(BOOK_ENTRY_SIZE);
  }
  return std::fclose(file) == 0 && ok;
}
