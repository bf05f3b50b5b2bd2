#include "session.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <memory>
#include <random>
#include <vector>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/movegen.h"
#include "base/platform.h"
#include "board/movetext.h"
#include "common/childprocess.h"
#include "driver/options.h"

namespace {

// Deadlines are generous: they catch hangs, not slow answers (the engine may
// run under a sanitizer on a loaded machine). Clock discipline is the match
// runner's business.
constexpr int64_t START_MS = 20000;
constexpr int64_t READY_MS = 10000;
constexpr int64_t AFTER_STOP_MS = 10000;
constexpr int64_t BOUNDED_SEARCH_MS = 60000;
constexpr int64_t QUIT_MS = 10000;
constexpr size_t TRANSCRIPT_LINES = 60;
constexpr int MAX_GAME_PLIES = 160;

enum SearchKind { SEARCH_DEPTH, SEARCH_NODES, SEARCH_MOVETIME, SEARCH_CLOCK, SEARCH_INFINITE, SEARCH_STOPPED,
                  SEARCH_SEARCHMOVES, SEARCH_KINDS };

// A Chess960 start: bishops on opposite colours, the king between the rooks.
std::string chess960Fen(std::mt19937_64& rng) {
  std::string rank(8, ' ');
  auto freeSquare = [&](int n) {
    for (int f = 0;; ++f)
      if (rank[f] == ' ' && n-- == 0) return f;
  };
  rank[2 * (rng() % 4)] = 'b';
  rank[2 * (rng() % 4) + 1] = 'b';
  rank[freeSquare(int(rng() % 6))] = 'q';
  rank[freeSquare(int(rng() % 5))] = 'n';
  rank[freeSquare(int(rng() % 4))] = 'n';
  int rookFiles[2], r = 0;
  for (char piece : {'r', 'k', 'r'}) {
    int f = freeSquare(0);
    rank[f] = piece;
    if (piece == 'r') rookFiles[r++] = f;
  }
  std::string upper = rank;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return char(c - 'a' + 'A'); });
  std::string rights = {char('A' + rookFiles[1]), char('A' + rookFiles[0]), char('a' + rookFiles[1]),
                        char('a' + rookFiles[0])};
  return rank + "/pppppppp/8/8/8/8/PPPPPPPP/" + upper + " w " + rights + " - 0 1";
}

class Gui {
 public:
  Gui(const StressSettings& settings, StressReport& report, std::mt19937_64& rng)
      : settings_(settings), report_(report), rng_(rng), pos_(new Position) {}

  // One engine process from start to quit; false after a fault.
  bool session(int64_t endMs);

 private:
  const StressSettings& settings_;
  StressReport& report_;
  std::mt19937_64& rng_;
  std::unique_ptr<Position> pos_;
  ChildProcess engine_;
  std::deque<std::string> transcript_;
  bool ponder_ = false;
  bool chess960_ = false;  // the session's castling notation
  // The game as the GUI holds it.
  std::string fen_;
  std::vector<std::string> moves_;

  int64_t random(int64_t low, int64_t high) { return low + int64_t(rng_() % uint64_t(high - low + 1)); }
  bool chance(int percent) { return random(1, 100) <= percent; }

  // The conversation for the fault report; search reports other than
  // "info string" would crowd out the commands.
  void note(const std::string& line) {
    if (settings_.verbose) std::printf("%s\n", line.c_str());
    if (line.rfind("< info", 0) == 0 && line.rfind("< info string", 0) != 0) return;
    transcript_.push_back(line);
    if (transcript_.size() > TRANSCRIPT_LINES) transcript_.pop_front();
  }
  bool fail(const std::string& what) {
    if (report_.fault.empty()) {
      report_.fault = what;
      for (const std::string& line : transcript_) report_.transcript += line + "\n";
    }
    return false;
  }
  bool send(const std::string& line) {
    note("> " + line);
    return writeLine(engine_, line) || fail("the engine's input closed (crashed?)");
  }
  // Reads lines until one starts with prefix. A "bestmove" that is not the
  // line waited for is a fault: no search may answer then.
  bool waitFor(const std::string& prefix, int64_t timeoutMs, std::string* found = nullptr) {
    const int64_t deadline = nowMs() + timeoutMs;
    std::string line;
    for (;;) {
      ReadStatus status = readLine(engine_, line, deadline);
      if (status == READ_TIMEOUT) return fail("no '" + prefix + "' within " + std::to_string(timeoutMs) + " ms");
      if (status == READ_CLOSED) return fail("the engine's output closed while waiting for '" + prefix + "'");
      note("< " + line);
      if (line.rfind(prefix, 0) == 0) {
        if (found) *found = line;
        return true;
      }
      if (line.rfind("bestmove", 0) == 0) return fail("bestmove that answers no search");
    }
  }
  // Reads for a while; any bestmove is early: the search must wait.
  bool quietFor(int64_t ms) {
    const int64_t deadline = nowMs() + ms;
    std::string line;
    for (;;) {
      ReadStatus status = readLine(engine_, line, deadline);
      if (status == READ_TIMEOUT) return true;
      if (status == READ_CLOSED) return fail("the engine's output closed during a search");
      note("< " + line);
      if (line.rfind("bestmove", 0) == 0) return fail("bestmove before stop or ponderhit");
    }
  }

  // Reads for a while; a bestmove may come (the search was bounded) and is
  // handed back in line, else line is empty.
  bool waitForBestmoveOrQuiet(int64_t ms, std::string& found) {
    const int64_t deadline = nowMs() + ms;
    std::string line;
    found.clear();
    for (;;) {
      ReadStatus status = readLine(engine_, line, deadline);
      if (status == READ_TIMEOUT) return true;
      if (status == READ_CLOSED) return fail("the engine's output closed during a search");
      note("< " + line);
      if (line.rfind("bestmove", 0) == 0) {
        found = line;
        return true;
      }
    }
  }

  // "isready" while a bounded search runs: readyok comes at once, and the
  // search may answer before or after it (handed back in found).
  bool readyDuringSearch(std::string& found) {
    if (!send("isready")) return false;
    const int64_t deadline = nowMs() + READY_MS;
    std::string line;
    for (;;) {
      ReadStatus status = readLine(engine_, line, deadline);
      if (status == READ_TIMEOUT) return fail("no readyok during a search");
      if (status == READ_CLOSED) return fail("the engine's output closed during a search");
      note("< " + line);
      if (line == "readyok") return true;
      if (line.rfind("bestmove", 0) == 0) {
        if (!found.empty()) return fail("a second bestmove for one search");
        found = line;
      }
    }
  }

  std::string positionCommand(const std::vector<std::string>& moves) const {
    std::string command = fen_ == START_FEN ? "position startpos" : "position fen " + fen_;
    if (!moves.empty()) command += " moves";
    for (const std::string& m : moves) command += " " + m;
    return command;
  }
  // Sets the verifying board to the game after moves; their texts are legal.
  const PositionState& board(const std::vector<std::string>& moves) {
    std::string text;
    for (const std::string& m : moves) text += m + " ";
    setUpPosition(*pos_, fen_.c_str(), text.c_str());
    return *pos_->state;
  }
  std::vector<std::string> legalTexts(const std::vector<std::string>& moves) {
    const PositionState& st = board(moves);
    ScoredMove list[MAX_GENERATED];
    ScoredMove* end = generateLegalMoves(st, list);
    std::vector<std::string> texts;
    char text[8];
    for (ScoredMove* m = list; m != end; ++m) {
      moveToUci(st, m->move, chess960_, text);
      texts.push_back(text);
    }
    return texts;
  }
  // "bestmove X [ponder Y]": X legal after moves (0000 exactly when there is
  // no legal move), Y legal after X, within allowed when it is not empty.
  bool checkBestMove(const std::string& line, const std::vector<std::string>& moves,
                     const std::vector<std::string>& allowed, std::string& best, std::string& ponder) {
    char bestText[64] = {}, ponderText[64] = {};
    int fields = std::sscanf(line.c_str(), "bestmove %63s ponder %63s", bestText, ponderText);
    best = bestText;
    ponder = fields == 2 ? ponderText : "";
    const std::vector<std::string> legal = legalTexts(moves);
    if (legal.empty()) return best == "0000" || fail("'" + line + "' where no move is legal");
    if (std::find(legal.begin(), legal.end(), best) == legal.end()) return fail("illegal '" + line + "'");
    if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), best) == allowed.end())
      return fail("'" + line + "' outside searchmoves");
    if (ponder.empty()) return true;
    std::vector<std::string> after = moves;
    after.push_back(best);
    const std::vector<std::string> replies = legalTexts(after);
    return std::find(replies.begin(), replies.end(), ponder) != replies.end() || fail("illegal ponder in '" + line + "'");
  }

  std::string clockWords() {
    const int64_t white = random(1, 3000), black = random(1, 3000), inc = random(0, 1) * random(0, 100);
    std::string words = " wtime " + std::to_string(white) + " btime " + std::to_string(black);
    if (inc) words += " winc " + std::to_string(inc) + " binc " + std::to_string(inc);
    if (chance(20)) words += " movestogo " + std::to_string(random(1, 40));
    return words;
  }

  bool startGame();
  bool search(std::string& best, std::string& ponder);
  bool ponderAfter(const std::string& best, const std::string& ponder);
  bool refusedPosition();
  bool changeOptions();
};

bool Gui::session(int64_t endMs) {
  transcript_.clear();
  std::string error;
  if (!startChild(engine_, {settings_.enginePath}, GROUP_SHARED, error))
    return fail("cannot start " + settings_.enginePath);
  ++report_.sessions;
  const bool chess960 = chess960_ = chance(20);
  ponder_ = chance(50);
  if (!send("uci") || !waitFor("uciok", START_MS)) return false;
  if (!send("setoption name Hash value " + std::to_string(random(1, 16)))) return false;
  if (!send("setoption name Threads value " + std::to_string(random(1, settings_.maxThreads)))) return false;
  if (!send(std::string("setoption name Ponder value ") + (ponder_ ? "true" : "false"))) return false;
  if (chess960 && !send("setoption name UCI_Chess960 value true")) return false;
  if (chance(20) && !send("setoption name MultiPV value " + std::to_string(random(2, 4)))) return false;
  if (chance(30) && !send("setoption name MoveOverhead value " + std::to_string(random(0, 50)))) return false;
  if (!send("isready") || !waitFor("readyok", READY_MS)) return false;

  for (int games = int(random(1, 3)); games > 0 && nowMs() < endMs; --games) {
    if (!startGame()) return false;
    while (nowMs() < endMs && int(moves_.size()) < MAX_GAME_PLIES) {
      if (chance(4) && !changeOptions()) return false;
      if (chance(3) && !refusedPosition()) return false;
      std::string best, ponder;
      if (!search(best, ponder)) return false;
      if (best == "0000") break;  // mate or stalemate: the game is over
      if (ponder_ && !ponder.empty() && chance(50)) {
        if (!ponderAfter(best, ponder)) return false;
        continue;
      }
      // The opponent sometimes plays what the engine suggested, sometimes not.
      if (chance(80)) {
        moves_.push_back(best);
      } else {
        std::vector<std::string> legal = legalTexts(moves_);
        moves_.push_back(legal[size_t(random(0, int64_t(legal.size()) - 1))]);
      }
    }
  }
  if (!send("isready") || !waitFor("readyok", READY_MS) || !send("quit")) return false;
  const int status = stopChild(engine_, QUIT_MS);
  if (status == -1) return fail("the engine did not end after quit");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return fail("the engine ended with status " + std::to_string(status) + " after quit");
  return true;
}

// A new game, from the initial position or a Chess960 one, after a random
// legal opening that leaves the side to move a legal move.
bool Gui::startGame() {
  ++report_.games;
  if (chance(70) && !send("ucinewgame")) return false;
  fen_ = chess960_ ? chess960Fen(rng_) : START_FEN;
  moves_.clear();
  for (int plies = int(random(0, 40)); plies > 0; --plies) {
    std::vector<std::string> legal = legalTexts(moves_);
    if (legal.empty()) break;
    moves_.push_back(legal[size_t(random(0, int64_t(legal.size()) - 1))]);
  }
  while (!moves_.empty() && legalTexts(moves_).empty()) moves_.pop_back();
  return send("isready") && waitFor("readyok", READY_MS);
}

// One search of the current position, of a random kind; best and ponder
// are the engine's checked answer.
bool Gui::search(std::string& best, std::string& ponder) {
  ++report_.searches;
  if (!send(positionCommand(moves_))) return false;
  const SearchKind kind = SearchKind(random(0, SEARCH_KINDS - 1));
  std::vector<std::string> allowed;
  std::string line;
  switch (kind) {
    case SEARCH_DEPTH:
      if (!send("go depth " + std::to_string(random(1, 6)))) return false;
      break;
    case SEARCH_NODES:
      if (!send("go nodes " + std::to_string(random(1, 30000)))) return false;
      break;
    case SEARCH_MOVETIME:
      if (!send("go movetime " + std::to_string(random(1, 150)))) return false;
      break;
    case SEARCH_CLOCK:
      if (!send("go" + clockWords())) return false;
      if (chance(30) && !readyDuringSearch(line)) return false;
      if (!line.empty()) return checkBestMove(line, moves_, allowed, best, ponder);
      break;
    case SEARCH_INFINITE:
      // Without a legal move the answer comes at once, stop or not.
      if (legalTexts(moves_).empty()) {
        if (!send("go infinite")) return false;
        break;
      }
      if (!send("go infinite") || !quietFor(random(0, 200))) return false;
      if (chance(50) && (!send("isready") || !waitFor("readyok", READY_MS) || !quietFor(random(0, 50)))) return false;
      ++report_.stops;
      if (!send("stop")) return false;
      break;
    case SEARCH_STOPPED: {
      // A long bounded search stopped at a random moment: one answer, at once.
      const std::string limits = chance(50) ? " depth 30" : " wtime 100000 btime 100000";
      if (!send("go" + limits)) return false;
      const int64_t wait = random(0, 100);
      if (wait > 0 && !waitForBestmoveOrQuiet(wait, line)) return false;
      ++report_.stops;
      if (!send("stop")) return false;
      if (!line.empty()) return checkBestMove(line, moves_, allowed, best, ponder);
      break;
    }
    case SEARCH_SEARCHMOVES: {
      std::vector<std::string> legal = legalTexts(moves_);
      std::shuffle(legal.begin(), legal.end(), rng_);
      legal.resize(std::min<size_t>(legal.size(), size_t(random(1, 3))));
      allowed = legal;
      std::string words;
      for (const std::string& m : allowed) words += " " + m;
      if (!send("go depth " + std::to_string(random(1, 4)) + " searchmoves" + words)) return false;
      break;
    }
    default:
      break;
  }
  const int64_t timeout = kind == SEARCH_INFINITE || kind == SEARCH_STOPPED ? AFTER_STOP_MS : BOUNDED_SEARCH_MS;
  return waitFor("bestmove", timeout, &line) && checkBestMove(line, moves_, allowed, best, ponder);
}

// The GUI's ponder flow after the engine answered best with ponder move
// expected: it plays best, lets the engine think on expected, and then the
// opponent either plays it ("ponderhit", the search goes on under the clock)
// or another move ("stop", the answer is thrown away).
bool Gui::ponderAfter(const std::string& best, const std::string& expected) {
  moves_.push_back(best);
  std::vector<std::string> pondered = moves_;
  pondered.push_back(expected);
  ++report_.searches;
  if (!send(positionCommand(pondered)) || !send("go ponder" + clockWords())) return false;
  std::string line, answer, ponder;
  if (legalTexts(pondered).empty()) {
    // The expected move ends the game: the answer comes at once.
    moves_ = pondered;
    return waitFor("bestmove", READY_MS, &line) && checkBestMove(line, pondered, {}, answer, ponder);
  }
  if (!quietFor(random(0, 300))) return false;
  if (chance(50)) {
    ++report_.ponderhits;
    if (!send("ponderhit")) return false;
    if (!waitFor("bestmove", BOUNDED_SEARCH_MS, &line) || !checkBestMove(line, pondered, {}, answer, ponder))
      return false;
    moves_ = pondered;
    if (answer != "0000") moves_.push_back(answer);
    return true;
  }
  ++report_.stops;
  if (!send("stop") || !waitFor("bestmove", AFTER_STOP_MS, &line) ||
      !checkBestMove(line, pondered, {}, answer, ponder))
    return false;
  std::vector<std::string> legal = legalTexts(moves_);
  if (legal.size() > 1) legal.erase(std::find(legal.begin(), legal.end(), expected));
  moves_.push_back(legal[size_t(random(0, int64_t(legal.size()) - 1))]);
  return true;
}

// A position the engine must refuse: a move list with a word that is no
// legal move there. The engine names it, and answers "go" with 0000 at once
// whatever the limits; the next valid position is played as usual.
bool Gui::refusedPosition() {
  ++report_.refusals;
  static const char* const bad[] = {"a1a1", "e2e5", "h9h9", "e7e8k", "zz"};
  std::vector<std::string> moves = moves_;
  moves.push_back(bad[random(0, 4)]);
  std::string line;
  if (!send(positionCommand(moves)) || !waitFor("info string", READY_MS)) return false;
  const char* forms[] = {"go infinite", "go ponder wtime 1000 btime 1000", "go depth 5", "go movetime 50"};
  if (!send(forms[random(0, 3)]) || !waitFor("bestmove", READY_MS, &line)) return false;
  return line == "bestmove 0000" || fail("'" + line + "' for a refused position");
}

// Options a GUI may change between moves; Threads and Hash take effect at
// the next new game, which sometimes follows at once.
bool Gui::changeOptions() {
  switch (random(0, 3)) {
    case 0:
      if (!send("setoption name Hash value " + std::to_string(random(1, 16)))) return false;
      break;
    case 1:
      if (!send("setoption name Threads value " + std::to_string(random(1, settings_.maxThreads)))) return false;
      break;
    case 2:
      if (!send("setoption name MultiPV value " + std::to_string(random(1, 3)))) return false;
      break;
    default:
      if (!send("setoption name MoveOverhead value " + std::to_string(random(0, 50)))) return false;
      break;
  }
  if (chance(50) && !send("ucinewgame")) return false;
  return send("isready") && waitFor("readyok", READY_MS);
}

}  // namespace

StressReport runStress(const StressSettings& settings) {
  setDefaultOptions();
  initAttacks();
  StressReport report;
  std::mt19937_64 rng(settings.seed);
  Gui gui(settings, report, rng);
  const int64_t endMs = nowMs() + settings.seconds * 1000;
  while (nowMs() < endMs && gui.session(endMs)) {
  }
  return report;
}
