#include "openings.h"

#include <fstream>
#include <random>
#include <sstream>

#include "gameboard.h"

namespace {

// The piece letter on an absolute square of a FEN board field, '.' if empty.
char pieceAt(const std::string& boardField, int file, int rank) {
  int r = 7;
  int f = 0;
  for (char c : boardField) {
    if (c == '/') {
      --r;
      f = 0;
    } else if (c >= '1' && c <= '8') {
      if (r == rank && file >= f && file < f + (c - '0')) return '.';
      f += c - '0';
    } else {
      if (r == rank && f == file) return c;
      ++f;
    }
  }
  return '.';
}

bool isCounter(const std::string& text) {
  if (text.empty() || text.size() > 6) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

bool isChess960Fen(const std::string& fen) {
  std::istringstream in(fen);
  std::string boardField, side, castling;
  if (!(in >> boardField >> side >> castling) || castling == "-") return false;
  for (char c : castling) {
    bool white = c >= 'A' && c <= 'Z';
    int rank = white ? 0 : 7;
    char king = white ? 'K' : 'k';
    char rook = white ? 'R' : 'r';
    char right = char(white ? c : c - 'a' + 'A');
    if (right != 'K' && right != 'Q') return true;
    if (pieceAt(boardField, 4, rank) != king) return true;
    if (pieceAt(boardField, right == 'K' ? 7 : 0, rank) != rook) return true;
  }
  return false;
}

bool loadOpenings(const std::string& path, std::vector<Opening>& openings, std::string& error) {
  std::ifstream file(path);
  if (!file) {
    error = "cannot read " + path;
    return false;
  }
  std::string line;
  GameBoard board;
  for (int number = 1; std::getline(file, line); ++number) {
    std::istringstream in(line);
    std::string fields[6];
    if (!(in >> fields[0]) || fields[0][0] == '#') continue;
    for (int i = 1; i < 4; ++i) in >> fields[i];
    std::string fen = fields[0] + " " + fields[1] + " " + fields[2] + " " + fields[3];
    if ((in >> fields[4] >> fields[5]) && isCounter(fields[4]) && isCounter(fields[5]))
      fen += " " + fields[4] + " " + fields[5];
    else
      fen += " 0 1";
    std::string problem;
    if (!setupBoard(board, fen, problem)) {
      error = path + ":" + std::to_string(number) + ": " + problem;
      return false;
    }
    openings.push_back({fen, isChess960Fen(fen)});
  }
  if (openings.empty()) error = path + " holds no positions";
  return !openings.empty();
}

std::vector<size_t> openingOrder(size_t count, uint64_t seed) {
  std::vector<size_t> order(count);
  for (size_t i = 0; i < count; ++i) order[i] = i;
  std::mt19937_64 random(seed);
  for (size_t i = count; i > 1; --i) {
    size_t j = size_t(random() % i);
    std::swap(order[i - 1], order[j]);
  }
  return order;
}
