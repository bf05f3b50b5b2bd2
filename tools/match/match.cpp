#include "match.h"

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <ostream>
#include <thread>
#include <unistd.h>
#include <vector>

#include "board/fen.h"
#include "common/childprocess.h"
#include "driver/options.h"
#include "openings.h"
#include "pgn.h"

namespace {

// An engine that cannot be started this many times in a row ends the match:
// the command line is wrong, and losing every game by default proves nothing.
constexpr int MAX_START_FAILURES = 3;
constexpr int64_t QUIT_GRACE_MS = 1000;

// What the workers share; everything below `lock` is guarded by it.
struct MatchState {
  const MatchConfig& config;
  std::ostream& out;
  std::atomic<bool>& stop;
  std::vector<Opening> openings;
  std::vector<size_t> order;
  bool chess960 = false;
  std::atomic<int> nextGame{0};

  std::mutex lock;
  MatchTally tally;
  std::map<int, int> halfPairs;  // pair index -> half points of its first finished game
  int finishedGames = 0;
  int startFailures[2] = {0, 0};
  std::ofstream pgn;

  MatchState(const MatchConfig& c, std::ostream& o, std::atomic<bool>& s) : config(c), out(o), stop(s) {}
};

std::string formatNumber(const char* format, double value) {
  if (value == 0) value = 0;  // no "-0.0"
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Half points of the first engine: 2 win, 1 draw, 0 loss.
int firstEngineHalfPoints(GameResult result, bool firstIsWhite) {
  if (result == RESULT_DRAW) return 1;
  return (result == RESULT_WHITE_WINS) == firstIsWhite ? 2 : 0;
}

void countFault(EngineFaults& faults, Termination termination) {
  if (termination == END_TIME_FORFEIT) ++faults.timeLosses;
  if (termination == END_ILLEGAL_MOVE) ++faults.illegalMoves;
  if (termination == END_CRASH) ++faults.crashes;
}

void recordGame(MatchState& state, int game, const GameSettings& settings, Player* players[2],
                const GameRecord& record) {
  bool firstIsWhite = game % 2 == 0;
  std::lock_guard<std::mutex> guard(state.lock);
  MatchTally& tally = state.tally;
  if (record.termination == END_ABORTED) {
    if (!state.stop.load()) state.out << "Game " << game + 1 << " abandoned: " << record.detail << "\n";
    return;
  }
  int half = firstEngineHalfPoints(record.result, firstIsWhite);
  (half == 2 ? tally.wins : half == 0 ? tally.losses : tally.draws)++;
  if (record.faultSide >= 0) {
    int engine = firstIsWhite ? record.faultSide : 1 - record.faultSide;
    countFault(tally.faults[engine], record.termination);
    if (record.startFailed && ++state.startFailures[engine] >= MAX_START_FAILURES) {
      tally.fatalError = state.config.engines[engine].name + " failed to start " +
                         std::to_string(MAX_START_FAILURES) + " times in a row";
      state.stop = true;
    }
  }
  for (int engine = 0; engine < 2; ++engine)
    if (!record.startFailed || record.faultSide != (firstIsWhite ? engine : 1 - engine))
      state.startFailures[engine] = 0;

  int pair = game / 2;
  auto pending = state.halfPairs.find(pair);
  if (pending == state.halfPairs.end()) {
    state.halfPairs[pair] = half;
  } else {
    ++tally.pairs.counts[pending->second + half];
    state.halfPairs.erase(pending);
    if (state.config.sprt && tally.verdict == SPRT_CONTINUE) {
      tally.llr = sprtLlr(tally.pairs, state.config.sprtParams);
      tally.verdict = sprtVerdict(tally.llr, state.config.sprtParams);
      if (tally.verdict != SPRT_CONTINUE) state.stop = true;
    }
  }

  ++state.finishedGames;
  state.out << "Game " << game + 1 << "/" << state.config.games << ": " << players[0]->setup->name
            << " vs " << players[1]->setup->name << " " << resultText(record.result) << " {"
            << record.detail << "}  score " << tally.wins << "-" << tally.losses << "-" << tally.draws;
  if (state.config.sprt) state.out << "  llr " << formatNumber("%.2f", tally.llr);
  state.out << std::endl;

  if (state.pgn.is_open()) {
    PgnGame pgnGame;
    pgnGame.event = state.config.event;
    pgnGame.date = pgnDate();
    pgnGame.round = game + 1;
    pgnGame.white = players[0]->setup->name;
    pgnGame.black = players[1]->setup->name;
    if (settings.fen != START_FEN) pgnGame.startFen = settings.fen;
    pgnGame.chess960 = settings.chess960;
    pgnGame.startMoveNumber = record.startMoveNumber;
    pgnGame.blackStarts = record.blackStarts;
    pgnGame.timeControl = describeTimeControl(settings.timeControl);
    pgnGame.result = record.result;
    pgnGame.termination = record.detail;
    pgnGame.moves = record.sanMoves;
    state.pgn << formatPgn(pgnGame) << std::flush;
  }
}

// One worker: its own two engine processes, reused from game to game.
void runWorker(MatchState& state) {
  const MatchConfig& config = state.config;
  Player seats[2];
  seats[0].setup = &config.engines[0];
  seats[1].setup = &config.engines[1];
  while (!state.stop.load()) {
    int game = state.nextGame++;
    if (game >= config.games) break;
    const Opening& opening = state.openings[state.order[size_t(game / 2) % state.order.size()]];
    GameSettings settings;
    settings.fen = opening.fen;
    settings.chess960 = state.chess960;
    settings.timeControl = config.timeControl;
    settings.adjudication = config.adjudication;
    settings.startupTimeoutMs = config.startupTimeoutMs;
    // The second game of each pair repeats the opening with colours reversed.
    Player* players[2] = {&seats[game % 2], &seats[1 - game % 2]};
    GameRecord record = playGame(players, settings, state.stop);
    recordGame(state, game, settings, players, record);
  }
  for (Player& seat : seats) quitEngine(seat.engine, QUIT_GRACE_MS);
}

}  // namespace

MatchTally runMatch(const MatchConfig& config, std::ostream& out, std::atomic<bool>& stop) {
  MatchState state(config, out, stop);
  std::string error;
  if (config.openingsFile.empty()) {
    state.openings.push_back({START_FEN, false});
  } else if (!loadOpenings(config.openingsFile, state.openings, error)) {
    state.tally.fatalError = error;
    return state.tally;
  }
  state.order = openingOrder(state.openings.size(), config.seed);
  state.chess960 = config.chess960;
  for (const Opening& opening : state.openings) state.chess960 |= opening.chess960;
  int errorFd = -1;
  if (!config.stderrFile.empty()) {
    // Kept open for the whole run: every engine start and restart appends.
    int fd = open(config.stderrFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
      state.tally.fatalError = "cannot write " + config.stderrFile;
      return state.tally;
    }
    setChildErrorOutput(fd);
    errorFd = fd;
  }
  if (!config.pgnFile.empty()) {
    state.pgn.open(config.pgnFile, std::ios::app);
    if (!state.pgn) {
      state.tally.fatalError = "cannot write " + config.pgnFile;
      return state.tally;
    }
  }
  int workers = config.concurrency < 1 ? 1 : config.concurrency;
  if (workers > config.games) workers = config.games;
  std::vector<std::thread> threads;
  for (int i = 0; i < workers; ++i) threads.emplace_back(runWorker, std::ref(state));
  for (std::thread& thread : threads) thread.join();
  if (errorFd >= 0) {
    setChildErrorOutput(-1);
    close(errorFd);
  }
  MatchTally tally = state.tally;
  tally.interrupted = stop.load() && tally.verdict == SPRT_CONTINUE && tally.fatalError.empty() &&
                      state.finishedGames < config.games;
  return tally;
}

void printSummary(const MatchConfig& config, const MatchTally& tally, std::ostream& out) {
  const std::string& first = config.engines[0].name;
  const std::string& second = config.engines[1].name;
  int64_t games = tally.wins + tally.losses + tally.draws;
  out << "\n" << first << " vs " << second << ", " << describeTimeControl(config.timeControl) << ": "
      << games << " games" << (tally.interrupted ? " (interrupted)" : "") << "\n";
  if (!tally.fatalError.empty()) out << "Stopped: " << tally.fatalError << "\n";
  double score = games ? (tally.wins + 0.5 * tally.draws) / double(games) : 0;
  out << "Wins " << tally.wins << ", losses " << tally.losses << ", draws " << tally.draws
      << "  score " << formatNumber("%.1f%%", 100 * score) << "\n";
  bool allPaired = tally.pairs.pairs() * 2 == games;
  EloEstimate elo = allPaired && games > 0 ? eloFromPairs(tally.pairs)
                                           : eloFromGames(tally.wins, tally.losses, tally.draws);
  if (elo.valid)
    out << "Elo difference: " << formatNumber("%+.1f", elo.elo) << ", 95% interval ["
        << formatNumber("%+.1f", elo.low) << ", " << formatNumber("%+.1f", elo.high) << "]"
        << (allPaired ? " (game pairs)" : " (single games)") << "\n";
  else
    out << "Elo difference: not defined for this score\n";
  out << "Pairs (0, 1/2, 1, 3/2, 2 points for " << first << "):";
  for (int64_t count : tally.pairs.counts) out << " " << count;
  out << "\n";
  for (int engine = 0; engine < 2; ++engine) {
    const EngineFaults& faults = tally.faults[engine];
    out << config.engines[engine].name << ": " << faults.timeLosses << " time losses, "
        << faults.illegalMoves << " illegal moves, " << faults.crashes << " crashes\n";
  }
  if (config.sprt) {
    const SprtParams& p = config.sprtParams;
    out << "SPRT elo0 " << p.elo0 << " elo1 " << p.elo1 << " alpha " << p.alpha << " beta " << p.beta
        << ": LLR " << formatNumber("%.2f", tally.llr) << " ["
        << formatNumber("%.2f", sprtLowerBound(p)) << ", " << formatNumber("%.2f", sprtUpperBound(p))
        << "]: "
        << (tally.verdict == SPRT_ACCEPT_H1   ? "H1 accepted"
            : tally.verdict == SPRT_ACCEPT_H0 ? "H0 accepted"
                                              : "no decision")
        << "\n";
  }
}
