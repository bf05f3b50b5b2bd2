// corvan-datagen: self-play training data. Worker processes (the engine's
// tables are process-wide) each play games with the in-process search and
// send every finished game through a pipe; this process appends whole games
// to the output file and reports progress on standard error.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "common/usage.h"
#include "board/attacks.h"
#include "board/fen.h"
#include "driver/options.h"
#include "eval/network.h"
#include "selfplay.h"
#include "trainingdata/datafile.h"
#include "trainingdata/record.h"

namespace {

struct Options {
  std::string out;
  std::string openings;
  std::string convertFrom;
  std::string network;  // image file to play with; empty: the built-in network
  int threads = 1;
  int hashMb = 16;
  uint64_t seed = 0;
  bool seedGiven = false;
  uint64_t positions = 0;  // positions to add; 0 = until interrupted
  uint64_t games = 0;      // games to add; 0 = no game limit
  SelfPlayConfig play;
};

const char* USAGE =
    "usage: corvan-datagen --out FILE [options]\n"
    "       corvan-datagen --convert TEXT --out FILE\n"
    "Self-play training data: games at a fixed node budget, every quiet position\n"
    "kept with its search score and the game's result. Appends to FILE when it\n"
    "already holds data, so an interrupted run can simply be started again.\n"
    "  --threads N        games played at once, one process each (1)\n"
    "  --nodes N          nodes per move (5000)\n"
    "  --soft-nodes N     no new iteration once N nodes are spent, --nodes the cap\n"
    "  --openings FILE    EPD/FEN lines to start from (none: the start position)\n"
    "  --random-plies N   random legal plies after the opening (8)\n"
    "  --positions N      stop after adding N positions (0: run until Ctrl-C)\n"
    "  --games N          stop after adding N games (0: no limit)\n"
    "  --seed S           random seed; with one thread the output is reproducible\n"
    "                     (default: from the clock)\n"
    "  --hash MB          hash table per game (16)\n"
    "  --network FILE     play with this network image instead of the built-in one\n"
    "  --win CP PLIES     adjudicate a win (2000 4)\n"
    "  --draw PLY CP PLIES  adjudicate a draw from PLY on (80 8 12)\n"
    "  --convert TEXT     convert lines 'FEN;SCORE;RESULT' ('-' = standard input)\n"
    "  -h, --help         print this text and exit\n";

bool parseArgs(int argc, char** argv, Options& o) {
  auto number = [&](int& i, uint64_t& v) {
    if (i + 1 >= argc) return false;
    char* end = nullptr;
    v = std::strtoull(argv[++i], &end, 10);
    return *end == 0;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    uint64_t v = 0, w = 0, x = 0;
    if (a == "--out" && i + 1 < argc) o.out = argv[++i];
    else if (a == "--openings" && i + 1 < argc) o.openings = argv[++i];
    else if (a == "--convert" && i + 1 < argc) o.convertFrom = argv[++i];
    else if (a == "--network" && i + 1 < argc) o.network = argv[++i];
    else if (a == "--threads" && number(i, v) && v >= 1 && v <= 256) o.threads = int(v);
    else if (a == "--nodes" && number(i, v) && v >= 1) o.play.nodes = int64_t(v);
    else if (a == "--soft-nodes" && number(i, v) && v >= 1) o.play.softNodes = int64_t(v);
    else if (a == "--random-plies" && number(i, v) && v <= 100) o.play.randomPlies = int(v);
    else if (a == "--positions" && number(i, v)) o.positions = v;
    else if (a == "--games" && number(i, v)) o.games = v;
    else if (a == "--seed" && number(i, v)) o.seed = v, o.seedGiven = true;
    else if (a == "--hash" && number(i, v) && v >= 1 && v <= 4096) o.hashMb = int(v);
    else if (a == "--win" && number(i, v) && number(i, w)) o.play.winScore = int(v), o.play.winPlies = int(w);
    else if (a == "--draw" && number(i, v) && number(i, w) && number(i, x))
      o.play.drawFromPly = int(v), o.play.drawScore = int(w), o.play.drawPlies = int(x);
    else {
      std::fprintf(stderr, "corvan-datagen: bad or incomplete argument '%s'\n%s", argv[i], USAGE);
      return false;
    }
  }
  if (o.out.empty()) {
    std::fprintf(stderr, "%s", USAGE);
    return false;
  }
  return true;
}

std::vector<std::string> readOpenings(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    if (line.find('/') != std::string::npos) lines.push_back(line.substr(0, line.find(';')));
  return lines;
}

// Pipe message of one finished game: this header, then the records.
struct GameMessage {
  uint32_t records;
  int32_t result;
  int32_t plies;
  uint32_t reserved;
};

bool writeAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
  }
  return true;
}

[[noreturn]] void runWorker(const Options& o, const std::vector<std::string>& openings, int index, int fd) {
  std::signal(SIGINT, SIG_DFL);
  initSelfPlay(o.hashMb);
  if (!o.network.empty() && !loadNetworkFile(o.network).empty()) _exit(1);
  for (uint64_t game = 0;; ++game) {
    // One generator per game, derived from the seed, the worker and the game.
    Rng rng(o.seed ^ (uint64_t(index) << 40) ^ (game * 0x2545F4914F6CDD1DULL));
    const std::string fen = openings.empty() ? START_FEN : openings[rng.below(uint32_t(openings.size()))];
    GameOutcome outcome = playGame(o.play, fen, rng);
    if (!outcome.played) continue;
    GameMessage m{uint32_t(outcome.records.size() / RECORD_BYTES), outcome.result, outcome.plies, 0};
    if (!writeAll(fd, &m, sizeof m) || !writeAll(fd, outcome.records.data(), outcome.records.size())) _exit(0);
  }
}

volatile std::sig_atomic_t interrupted = 0;
void onInterrupt(int) { interrupted = 1; }

struct Worker {
  pid_t pid;
  int fd;
  std::vector<uint8_t> buffer;
};

std::string clockText(double seconds) {
  if (seconds < 0 || seconds > 1e7) return "-";
  char text[32];
  const long s = long(seconds);
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

int generate(const Options& o) {
  const std::vector<std::string> openings = o.openings.empty() ? std::vector<std::string>() : readOpenings(o.openings);
  if (!o.openings.empty() && openings.empty()) {
    std::fprintf(stderr, "corvan-datagen: no positions in %s\n", o.openings.c_str());
    return 1;
  }
  DataWriter writer;
  std::string error;
  if (!writer.open(o.out, error)) {
    std::fprintf(stderr, "corvan-datagen: %s\n", error.c_str());
    return 1;
  }
  const uint64_t startRecords = writer.recordCount();
  // The network is checked here, once, before any worker starts.
  initNetwork();
  if (!o.network.empty()) {
    const std::string problem = loadNetworkFile(o.network);
    if (!problem.empty()) {
      std::fprintf(stderr, "corvan-datagen: %s\n", problem.c_str());
      return 1;
    }
  }
  std::fprintf(stderr, "corvan-datagen: %s holds %llu positions; seed %llu; network %s\n", o.out.c_str(),
               static_cast<unsigned long long>(startRecords), static_cast<unsigned long long>(o.seed),
               networkName().c_str());

  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<Worker> workers;
  for (int i = 0; i < o.threads; ++i) {
    int fds[2];
    if (::pipe(fds) != 0) return 1;
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(fds[0]);
      runWorker(o, openings, i, fds[1]);
    }
    ::close(fds[1]);
    workers.push_back({pid, fds[0], {}});
  }

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto lastReport = start;
  uint64_t games = 0, added = 0, wins = 0, draws = 0, losses = 0;
  bool writeFailed = false;
  auto done = [&] {
    return interrupted || writeFailed || (o.positions && added >= o.positions) || (o.games && games >= o.games);
  };
  auto report = [&](bool final) {
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double rate = seconds > 0 ? added / seconds : 0;
    const double left = o.positions && rate > 0 ? (double(o.positions) - double(added)) / rate : -1;
    std::fprintf(stderr, "games %llu (+%llu =%llu -%llu)  positions %llu (+%llu)  %.0f pos/s  elapsed %s  left %s%s",
                 static_cast<unsigned long long>(games), static_cast<unsigned long long>(wins),
                 static_cast<unsigned long long>(draws), static_cast<unsigned long long>(losses),
                 static_cast<unsigned long long>(writer.recordCount()), static_cast<unsigned long long>(added), rate,
                 clockText(seconds).c_str(), clockText(left).c_str(), final ? "\n" : "\n");
  };

  while (!done()) {
    std::vector<pollfd> fds;
    for (const Worker& w : workers) fds.push_back({w.fd, POLLIN, 0});
    const int ready = ::poll(fds.data(), fds.size(), 500);
    for (size_t i = 0; ready > 0 && i < workers.size() && !done(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
      Worker& w = workers[i];
      uint8_t chunk[65536];
      const ssize_t n = ::read(w.fd, chunk, sizeof chunk);
      if (n <= 0) {
        std::fprintf(stderr, "corvan-datagen: a worker ended unexpectedly\n");
        interrupted = 1;
        break;
      }
      w.buffer.insert(w.buffer.end(), chunk, chunk + n);
      while (w.buffer.size() >= sizeof(GameMessage) && !done()) {
        GameMessage m;
        std::memcpy(&m, w.buffer.data(), sizeof m);
        const size_t bytes = sizeof m + size_t(m.records) * RECORD_BYTES;
        if (w.buffer.size() < bytes) break;
        if (!writer.append(w.buffer.data() + sizeof m, m.records)) writeFailed = true;
        w.buffer.erase(w.buffer.begin(), w.buffer.begin() + bytes);
        ++games;
        added += m.records;
        (m.result > 0 ? wins : m.result < 0 ? losses : draws) += 1;
      }
    }
    if (Clock::now() - lastReport >= std::chrono::seconds(5)) {
      report(false);
      lastReport = Clock::now();
    }
  }
  for (Worker& w : workers) {
    ::kill(w.pid, SIGKILL);
    ::close(w.fd);
    ::waitpid(w.pid, nullptr, 0);
  }
  report(true);
  if (writeFailed) std::fprintf(stderr, "corvan-datagen: writing %s failed\n", o.out.c_str());
  return writeFailed ? 1 : 0;
}

// Lines "FEN;SCORE;RESULT" (score and result from the side to move's view)
// into records; lines that do not parse are counted and skipped.
int convert(const Options& o) {
  setDefaultOptions();
  initAttacks();
  DataWriter writer;
  std::string error;
  if (!writer.open(o.out, error)) {
    std::fprintf(stderr, "corvan-datagen: %s\n", error.c_str());
    return 1;
  }
  std::ifstream file;
  if (o.convertFrom != "-") {
    file.open(o.convertFrom);
    if (!file) {
      std::fprintf(stderr, "corvan-datagen: cannot read %s\n", o.convertFrom.c_str());
      return 1;
    }
  }
  std::istream& in = o.convertFrom == "-" ? std::cin : file;
  static Position pos;
  std::vector<uint8_t> batch;
  uint64_t converted = 0, skipped = 0;
  for (std::string line; std::getline(in, line);) {
    const size_t a = line.find(';'), b = line.find(';', a == std::string::npos ? a : a + 1);
    if (a == std::string::npos || b == std::string::npos) {
      ++skipped;
      continue;
    }
    const std::string fen = line.substr(0, a);
    const int score = std::atoi(line.c_str() + a + 1), result = std::atoi(line.c_str() + b + 1);
    setPosition(pos, fen.c_str(), nullptr);
    TrainingPosition p = positionFromState(*pos.state, 1);
    p.score = int16_t(std::max(-32000, std::min(32000, score)));
    p.result = int8_t(result > 0 ? 1 : result < 0 ? -1 : 0);
    // The set-up replaces a board it cannot play on: such a line is skipped.
    if (positionFen(p).substr(0, fen.find(' ')) != fen.substr(0, fen.find(' '))) {
      ++skipped;
      continue;
    }
    batch.resize(batch.size() + RECORD_BYTES);
    packRecord(p, batch.data() + batch.size() - RECORD_BYTES);
    ++converted;
    if (batch.size() >= RECORD_BYTES * 4096) {
      if (!writer.append(batch.data(), batch.size() / RECORD_BYTES)) return 1;
      batch.clear();
    }
  }
  if (!batch.empty() && !writer.append(batch.data(), batch.size() / RECORD_BYTES)) return 1;
  std::fprintf(stderr, "corvan-datagen: converted %llu positions, skipped %llu lines; %s holds %llu\n",
               static_cast<unsigned long long>(converted), static_cast<unsigned long long>(skipped), o.out.c_str(),
               static_cast<unsigned long long>(writer.recordCount()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (helpRequested(argc, argv)) return printUsage(USAGE);
  if (!parseArgs(argc, argv, o)) return 2;
  if (!o.seedGiven)
    o.seed = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^ (uint64_t(::getpid()) << 32);
  return o.convertFrom.empty() ? generate(o) : convert(o);
}
