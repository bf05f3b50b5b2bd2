// Opening positions from an EPD file, their playing order, and recognising
// Chess960 starting positions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Opening {
  std::string fen;  // six FEN fields; move counters default to "0 1"
  bool chess960 = false;
};

// Reads the first four fields of every line (lines that are empty or start
// with '#' are skipped); move counters that follow as plain numbers are
// kept. Each position is checked on the runner's board. False with an error
// naming the line when the file cannot be read or a position is bad.
bool loadOpenings(const std::string& path, std::vector<Opening>& openings, std::string& error);
// Castling rights that only Chess960 can express: Shredder-style file
// letters, or K/Q/k/q rights whose king or rook is not on its standard square.
bool isChess960Fen(const std::string& fen);
// A reproducible shuffle of 0 .. count-1 for the seed.
std::vector<size_t> openingOrder(size_t count, uint64_t seed);
