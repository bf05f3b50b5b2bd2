// A scripted UCI engine for the match runner's tests. It plays its moves
// from a list given on the command line (cycling through it) and can be told
// to misbehave at its n-th move of a game:
//   --moves m1,m2,...   moves to play as white, in order (the side follows
//                       from the number of moves in the position command)
//   --black-moves ...   moves to play as black (default: the --moves list)
//   --fail-at N         its own move number (0-based) where --fail applies
//   --fail MODE         illegal: plays e2e5; garbage: "bestmove ???";
//                       silent: never answers; flood: prints info lines
//                       forever, but no move; exit: quits at once;
//                       slow: answers after --delay-ms
//   --delay-ms N        delay for the slow mode
//   --score CP          reports "info depth 1 score cp CP" before each move
//   --mute-startup      never answers "uci"
//   --pidfile PATH      appends its process id to PATH
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Script {
  std::vector<std::string> moves;
  std::vector<std::string> blackMoves;
  int failAt = -1;
  std::string failMode;
  int delayMs = 0;
  bool hasScore = false;
  int score = 0;
  bool muteStartup = false;
};

std::vector<std::string> splitMoves(const std::string& list) {
  std::vector<std::string> moves;
  std::stringstream in(list);
  std::string move;
  while (std::getline(in, move, ','))
    if (!move.empty()) moves.push_back(move);
  return moves;
}

int movesInPosition(const std::string& line) {
  std::istringstream in(line);
  std::string word;
  int count = -1;
  while (in >> word)
    if (count >= 0) ++count;
    else if (word == "moves") count = 0;
  return count < 0 ? 0 : count;
}

void say(const std::string& text) {
  std::cout << text << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
  Script script;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i];
    std::string value = argv[i + 1];
    if (key == "--moves") script.moves = splitMoves(value);
    else if (key == "--black-moves") script.blackMoves = splitMoves(value);
    else if (key == "--fail-at") script.failAt = std::atoi(value.c_str());
    else if (key == "--fail") script.failMode = value;
    else if (key == "--delay-ms") script.delayMs = std::atoi(value.c_str());
    else if (key == "--score") script.hasScore = true, script.score = std::atoi(value.c_str());
    else if (key == "--mute-startup") script.muteStartup = value == "1";
    else if (key == "--pidfile") {
      if (FILE* file = std::fopen(value.c_str(), "a")) {
        std::fprintf(file, "%d\n", int(getpid()));
        std::fclose(file);
      }
    }
  }
  std::string line;
  int plies = 0;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "uci") {
      if (script.muteStartup) continue;
      say("id name FakeEngine");
      say("uciok");
    } else if (command == "isready") {
      say("readyok");
    } else if (command == "position") {
      plies = movesInPosition(line);
    } else if (command == "go") {
      int own = plies / 2;
      const std::vector<std::string>& list =
          plies % 2 == 1 && !script.blackMoves.empty() ? script.blackMoves : script.moves;
      std::string move = list.empty() ? "0000" : list[size_t(own) % list.size()];
      if (own == script.failAt) {
        if (script.failMode == "silent") {
          while (std::getline(std::cin, line)) {
          }
          // Even at the end of its input it keeps hanging until killed.
          for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        if (script.failMode == "exit") return 0;
        if (script.failMode == "flood")
          for (;;) say("info depth 1 score cp 0 nodes 1 pv " + move);
        if (script.failMode == "illegal") move = "e2e5";
        if (script.failMode == "garbage") move = "???";
        if (script.failMode == "slow") std::this_thread::sleep_for(std::chrono::milliseconds(script.delayMs));
      }
      if (script.hasScore) say("info depth 1 score cp " + std::to_string(script.score) + " pv " + move);
      say("bestmove " + move);
    } else if (command == "quit") {
      return 0;
    }
  }
  return 0;
}
