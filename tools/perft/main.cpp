// corvan-perft DEPTH [FEN] [--960]: counts the legal move paths of the given
// depth from the start position or the FEN, split by root move. Chess960
// castling notation is used when the FEN names castling rooks by file
// letter or when --960 is given. The time taken goes to standard error.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/perft.h"
#include "board/movetext.h"
#include "common/usage.h"
#include "driver/options.h"

namespace {

const char* USAGE =
    "usage: corvan-perft DEPTH [FEN] [--960]\n"
    "Counts the legal move paths of DEPTH plies from the start position or FEN,\n"
    "per root move, then 'Nodes searched: N'; the time goes to standard error.\n"
    "  --960       Chess960 castling notation (also when the FEN names rook files)\n"
    "  -h, --help  print this text and exit\n";

// Castling letters other than KQkq name rook files: a Chess960 position.
bool namesRookFiles(const std::string& fen) {
  size_t field = 0, i = 0;
  while (i < fen.size() && field < 2) {
    if (fen[i] == ' ' && i + 1 < fen.size() && fen[i + 1] != ' ') ++field;
    ++i;
  }
  for (; i < fen.size() && fen[i] != ' '; ++i) {
    char c = fen[i];
    if ((c >= 'A' && c <= 'H') || (c >= 'a' && c <= 'h')) return true;
  }
  return false;
}

Position position;
PerftLine lines[MAX_MOVES];

}  // namespace

int main(int argc, char** argv) {
  if (helpRequested(argc, argv)) return printUsage(USAGE);
  char* end = nullptr;
  if (argc < 2 || std::strtol(argv[1], &end, 10) < 0 || *end) return usageError("corvan-perft", "DEPTH must be a number of plies", USAGE);
  setDefaultOptions();
  initAttacks();
  int depth = std::atoi(argv[1]);
  std::string fen;
  bool chess960 = false;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--960") == 0) {
      chess960 = true;
      continue;
    }
    if (!fen.empty()) fen += ' ';
    fen += argv[i];
  }
  if (fen.empty()) fen = START_FEN;
  setPosition(position, fen.c_str(), nullptr);
  position.chess960 = chess960 || namesRookFiles(fen);

  auto start = std::chrono::steady_clock::now();
  uint64_t total = 0;
  if (depth >= 1) {
    int count = perftDivide(position, depth, lines);
    for (int i = 0; i < count; ++i) {
      char text[6];
      moveToUci(*position.state, lines[i].move, position.chess960, text);
      std::printf("%s: %llu\n", text, static_cast<unsigned long long>(lines[i].nodes));
      total += lines[i].nodes;
    }
  } else {
    total = 1;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("\nNodes searched: %llu\n", static_cast<unsigned long long>(total));
  std::fflush(stdout);
  std::fprintf(stderr, "Time: %.3f s, %.1f Mnodes/s\n", seconds, seconds > 0 ? total / seconds / 1e6 : 0.0);
  return 0;
}
