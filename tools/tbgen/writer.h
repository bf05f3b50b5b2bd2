// Writing a solved table as its WDL (.rtbw) and DTZ (.rtbz) files.
//
// The files hold what the probes need and no more (see the probes' own
// description): a WDL sub-table may store any value not above the true one
// where a capture is the best move, and anything for positions no game
// reaches; a DTZ sub-table holds one side to move, and nothing it stores is
// read for draws or for wins whose best move zeroes. The writer fills those
// free entries so that runs grow long, tries the piece orders and the side
// to move of each DTZ sub-table, and keeps the smallest result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "solver.h"

struct WriterOptions {
  int threads = 1;
};

struct TableFiles {
  std::string name;  // registered name, e.g. "KRPvKR"
  std::vector<uint8_t> wdl, dtz;
};

TableFiles writeTable(const Table& table, const WriterOptions& options);
