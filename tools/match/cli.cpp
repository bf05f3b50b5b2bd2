#include "cli.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

const char USAGE[] =
    "Usage: corvan-match --engine cmd=COMMAND [name=NAME] [option.NAME=VALUE ...]\n"
    "                    --engine cmd=COMMAND [name=NAME] [option.NAME=VALUE ...] [settings]\n"
    "\n"
    "Plays games between two UCI engines, judges them with Corvan's own board code\n"
    "and reports the result from the first engine's point of view.\n"
    "\n"
    "Engines (exactly two):\n"
    "  cmd=COMMAND          shell command line that starts the engine\n"
    "  name=NAME            display name (default: the command's first word)\n"
    "  option.NAME=VALUE    UCI option sent after uciok, e.g. option.Hash=16\n"
    "\n"
    "Time control (one of; default --tc 10+0.1):\n"
    "  --tc BASE+INC        base time and increment per move in seconds, e.g. 10+0.1\n"
    "  --movetime SECONDS   fixed time per move\n"
    "  --nodes N            fixed number of nodes per move\n"
    "  --margin MS          how late a move may arrive before it loses on time (default 100)\n"
    "  --node-timeout SECONDS\n"
    "                       longest wait for a fixed-nodes move (default 30)\n"
    "  --startup-timeout SECONDS\n"
    "                       longest wait for uciok and readyok (default 10)\n"
    "\n"
    "Games:\n"
    "  --games N            number of games (default 2); openings are played in pairs,\n"
    "                       the second game of a pair with colours reversed\n"
    "  --concurrency N      games played at once, each with its own engines (default 1)\n"
    "  --openings FILE      EPD/FEN file, first four fields of each line (default: start\n"
    "                       position); the order is shuffled by --seed\n"
    "  --seed N             seed of the opening order (default 1)\n"
    "  --chess960           Chess960 castling rules; also on when an opening's castling\n"
    "                       rights need them. Sets UCI_Chess960 for both engines\n"
    "  --resign MOVES SCORE adjudicate a loss when both engines see the same side ahead\n"
    "                       by SCORE centipawns or more for MOVES moves each\n"
    "  --draw FROM MOVES SCORE\n"
    "                       adjudicate a draw from move FROM on when both engines see\n"
    "                       |score| <= SCORE centipawns for MOVES moves each\n"
    "\n"
    "Output:\n"
    "  --sprt ELO0 ELO1 ALPHA BETA\n"
    "                       sequential test after each game pair; stops when H0 (the\n"
    "                       difference is ELO0) or H1 (it is ELO1) is accepted\n"
    "  --pgn FILE           append every game to FILE in PGN\n"
    "  --stderr FILE        append the engines' standard error to FILE instead of\n"
    "                       the terminal\n"
    "  --event NAME         PGN Event tag (default \"Corvan match\")\n"
    "  --help               this text\n"
    "\n"
    "Games end by checkmate, stalemate, threefold repetition, the fifty-move rule,\n"
    "insufficient material or adjudication. An illegal or malformed move, a move\n"
    "after the clock ran out, and an engine that exits or stops answering lose the\n"
    "game; the engine is then restarted. Ctrl-C stops the match, kills every engine\n"
    "and prints the summary so far.\n"
    "\n"
    "Example:\n"
    "  corvan-match --engine cmd=./build/corvan name=Corvan option.Hash=16 \\\n"
    "               --engine cmd=/usr/games/toga2 name=Toga --tc 2+0.02 --games 200 \\\n"
    "               --openings book.epd --pgn games.pgn --sprt 0 5 0.05 0.05\n";

bool parseInt(const std::string& text, long long low, long long high, long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text.c_str(), &end, 10);
  return *end == '\0' && errno == 0 && value >= low && value <= high;
}

bool parseDouble(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return *end == '\0' && value == value;
}

// Walks argv; each accessor fails with an error naming the option.
struct ArgReader {
  std::vector<std::string> args;
  size_t next = 0;
  std::string error;

  bool more() const { return next < args.size(); }
  bool take(const std::string& option, std::string& value) {
    if (next >= args.size()) {
      error = option + " needs a value";
      return false;
    }
    value = args[next++];
    return true;
  }
  bool takeInt(const std::string& option, long long low, long long high, long long& value) {
    std::string text;
    if (!take(option, text)) return false;
    if (!parseInt(text, low, high, value)) {
      error = option + ": bad number \"" + text + "\"";
      return false;
    }
    return true;
  }
  bool takeDouble(const std::string& option, double& value) {
    std::string text;
    if (!take(option, text)) return false;
    if (!parseDouble(text, value)) {
      error = option + ": bad number \"" + text + "\"";
      return false;
    }
    return true;
  }
  bool takeSeconds(const std::string& option, int64_t& ms) {
    std::string text;
    if (!take(option, text)) return false;
    if (!parseSeconds(text, ms)) {
      error = option + ": bad number of seconds \"" + text + "\"";
      return false;
    }
    return true;
  }
};

bool parseEngine(ArgReader& reader, EngineSetup& setup) {
  while (reader.more() && reader.args[reader.next].rfind("--", 0) != 0) {
    const std::string& word = reader.args[reader.next++];
    size_t equals = word.find('=');
    std::string key = word.substr(0, equals);
    std::string value = equals == std::string::npos ? "" : word.substr(equals + 1);
    if (equals == std::string::npos) {
      reader.error = "--engine: expected KEY=VALUE, got \"" + word + "\"";
      return false;
    }
    if (key == "cmd") {
      setup.command = value;
    } else if (key == "name") {
      setup.name = value;
    } else if (key.rfind("option.", 0) == 0 && key.size() > 7) {
      setup.options.emplace_back(key.substr(7), value);
    } else {
      reader.error = "--engine: unknown setting \"" + key + "\"";
      return false;
    }
  }
  if (setup.command.empty()) {
    reader.error = "--engine needs cmd=COMMAND";
    return false;
  }
  if (setup.name.empty()) {
    std::string firstWord = setup.command.substr(0, setup.command.find(' '));
    setup.name = firstWord.substr(firstWord.rfind('/') + 1);
  }
  return true;
}

bool parseSetting(ArgReader& reader, const std::string& option, MatchConfig& config, int& engines) {
  long long number = 0;
  TimeControl& tc = config.timeControl;
  AdjudicationRules& adjudication = config.adjudication;
  if (option == "--engine") {
    if (engines == 2) {
      reader.error = "exactly two engines, please";
      return false;
    }
    return parseEngine(reader, config.engines[engines++]);
  }
  if (option == "--tc") {
    std::string text;
    if (!reader.take(option, text)) return false;
    if (!parseIncrementControl(text, tc)) {
      reader.error = "--tc: expected BASE+INC in seconds, got \"" + text + "\"";
      return false;
    }
    return true;
  }
  if (option == "--movetime") {
    tc.kind = TC_MOVETIME;
    if (!reader.takeSeconds(option, tc.moveTimeMs)) return false;
    if (tc.moveTimeMs > 0) return true;
    reader.error = "--movetime must be positive";
    return false;
  }
  if (option == "--nodes") {
    tc.kind = TC_NODES;
    return reader.takeInt(option, 1, 1LL << 50, number) && ((tc.nodes = number), true);
  }
  if (option == "--margin") return reader.takeInt(option, 0, 1LL << 40, number) && ((tc.marginMs = number), true);
  if (option == "--node-timeout") return reader.takeSeconds(option, tc.nodeTimeoutMs);
  if (option == "--startup-timeout") return reader.takeSeconds(option, config.startupTimeoutMs);
  if (option == "--games") return reader.takeInt(option, 1, 1 << 30, number) && ((config.games = int(number)), true);
  if (option == "--concurrency")
    return reader.takeInt(option, 1, 256, number) && ((config.concurrency = int(number)), true);
  if (option == "--openings") return reader.take(option, config.openingsFile);
  if (option == "--seed")
    return reader.takeInt(option, 0, 1LL << 62, number) && ((config.seed = uint64_t(number)), true);
  if (option == "--chess960") return (config.chess960 = true);
  if (option == "--pgn") return reader.take(option, config.pgnFile);
  if (option == "--stderr") return reader.take(option, config.stderrFile);
  if (option == "--event") return reader.take(option, config.event);
  if (option == "--resign") {
    long long moves = 0;
    long long score = 0;
    if (!reader.takeInt(option, 1, 1000, moves) || !reader.takeInt(option, 1, 100000, score)) return false;
    adjudication.resignMoves = int(moves);
    adjudication.resignScore = int(score);
    return true;
  }
  if (option == "--draw") {
    long long from = 0;
    long long moves = 0;
    long long score = 0;
    if (!reader.takeInt(option, 0, 100000, from) || !reader.takeInt(option, 1, 1000, moves) ||
        !reader.takeInt(option, 0, 100000, score))
      return false;
    adjudication.drawFromMove = int(from);
    adjudication.drawMoves = int(moves);
    adjudication.drawScore = int(score);
    return true;
  }
  if (option == "--sprt") {
    SprtParams& p = config.sprtParams;
    if (!reader.takeDouble(option, p.elo0) || !reader.takeDouble(option, p.elo1) ||
        !reader.takeDouble(option, p.alpha) || !reader.takeDouble(option, p.beta))
      return false;
    if (!(p.elo1 > p.elo0) || !(p.alpha > 0 && p.alpha < 1) || !(p.beta > 0 && p.beta < 1)) {
      reader.error = "--sprt: need ELO0 < ELO1 and 0 < ALPHA, BETA < 1";
      return false;
    }
    config.sprt = true;
    return true;
  }
  reader.error = "unknown option \"" + option + "\" (see --help)";
  return false;
}

}  // namespace

const char* usageText() { return USAGE; }

CliOutcome parseCommandLine(int argc, const char* const* argv, MatchConfig& config, std::string& error) {
  ArgReader reader;
  for (int i = 1; i < argc; ++i) reader.args.emplace_back(argv[i]);
  int engines = 0;
  while (reader.more()) {
    std::string option = reader.args[reader.next++];
    if (option == "--help" || option == "-h") return CLI_HELP;
    if (!parseSetting(reader, option, config, engines)) {
      error = reader.error;
      return CLI_ERROR;
    }
  }
  if (engines != 2) {
    error = "two engines are needed (--engine cmd=... twice)";
    return CLI_ERROR;
  }
  return CLI_RUN;
}
