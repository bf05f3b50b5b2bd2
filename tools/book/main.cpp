// corvan-book: writes a Polyglot opening book from positions with weighted
// moves and from games given as UCI move lists.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "book/bookwriter.h"

namespace {

const char* USAGE =
    "usage: corvan-book [options] OUTPUT.bin [INPUT ...]\n"
    "\n"
    "Writes a Polyglot opening book (16-byte big-endian entries sorted by\n"
    "position key) to OUTPUT.bin. Reads the INPUT files in turn, or standard\n"
    "input when none is given or an INPUT is '-'. Each line is one of:\n"
    "\n"
    "  FEN ; MOVE ; WEIGHT          one book move of that position; the\n"
    "                               weight (0..65535) defaults to 1\n"
    "  startpos moves M1 M2 ...     a game from the start position: each\n"
    "                               move enters the book with weight 1\n"
    "  fen FEN moves M1 M2 ...      a game from another position\n"
    "\n"
    "A leading 'position ' on game lines is allowed; blank lines and lines\n"
    "starting with '#' are skipped. Moves are UCI text (e2e4, e7e8q);\n"
    "castling may be written as the king's two-square step (e1g1) or as the\n"
    "king taking its own rook (e1h1, also for Chess960 positions); the book\n"
    "stores it as king takes rook, as the format requires. Every move is\n"
    "checked against the legal moves of its position. The same move of the\n"
    "same position given again adds to its weight; weights are capped at\n"
    "65535. A weight of 0 keeps a move in the book that is never chosen.\n"
    "\n"
    "options:\n"
    "  --max-ply N     take only the first N moves of each game\n"
    "  --input-order   keep the moves of a position in input order\n"
    "                  (default: heaviest first, input order among equals)\n"
    "  --lenient       skip bad lines with a warning instead of failing\n"
    "  --help          this text\n"
    "\n"
    "Exit status 0 when the book was written; 1 on a bad line (unless\n"
    "--lenient), an unreadable input or an unwritable output; 2 on bad usage.\n";

struct ToolOptions {
  int maxPly = 0;
  bool inputOrder = false;
  bool lenient = false;
  std::string output;
  std::vector<std::string> inputs;
};

// Returns 0 when the arguments are usable, else the exit status to end with.
int parseArguments(int argc, char** argv, ToolOptions& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(USAGE, stdout);
      std::exit(0);
    } else if (arg == "--max-ply" && i + 1 < argc) {
      options.maxPly = std::atoi(argv[++i]);
    } else if (arg == "--input-order") {
      options.inputOrder = true;
    } else if (arg == "--lenient") {
      options.lenient = true;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      std::fprintf(stderr, "corvan-book: unknown option %s\n%s", arg.c_str(), USAGE);
      return 2;
    } else if (options.output.empty()) {
      options.output = arg;
    } else {
      options.inputs.push_back(arg);
    }
  }
  if (options.output.empty()) {
    std::fputs(USAGE, stderr);
    return 2;
  }
  if (options.inputs.empty()) options.inputs.push_back("-");
  return 0;
}

// Adds every line of one input; false when a bad line ends the run.
bool readInput(const std::string& name, std::istream& in, const ToolOptions& options,
               BookDraft& draft, int& badLines) {
  std::string line, error;
  for (int number = 1; std::getline(in, line); ++number) {
    if (addBookLine(draft, line, options.maxPly, error)) continue;
    ++badLines;
    std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), number, error.c_str());
    if (!options.lenient) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  ToolOptions options;
  if (int status = parseArguments(argc, argv, options)) return status;
  initAttacks();

  BookDraft draft;
  int badLines = 0;
  for (const std::string& input : options.inputs) {
    bool ok;
    if (input == "-") {
      ok = readInput("<stdin>", std::cin, options, draft, badLines);
    } else {
      std::ifstream file(input);
      if (!file) {
        std::fprintf(stderr, "corvan-book: cannot read %s\n", input.c_str());
        return 1;
      }
      ok = readInput(input, file, options, draft, badLines);
    }
    if (!ok) return 1;
  }

  std::vector<BookEntry> entries = finishBook(draft, options.inputOrder);
  if (!writeBookFile(options.output, entries)) {
    std::fprintf(stderr, "corvan-book: cannot write %s\n", options.output.c_str());
    return 1;
  }
  size_t positions = 0;
  for (size_t i = 0; i < entries.size(); ++i)
    positions += i == 0 || entries[i].key != entries[i - 1].key;
  std::printf("wrote %zu entries for %zu positions to %s", entries.size(), positions,
              options.output.c_str());
  if (badLines) std::printf(" (%d bad lines skipped)", badLines);
  std::printf("\n");
  return 0;
}
