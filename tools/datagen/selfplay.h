// One self-play game in process: the engine's own search at a fixed node
// budget for both sides, from an opening line plus random plies, with early
// adjudication, producing packed training records labelled with the result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Knobs of a game; the defaults are the data generator's.
struct SelfPlayConfig {
  int64_t nodes = 5000;           // node budget of every search
  int64_t softNodes = 0;          // with nodes as the hard cap: no iteration starts past it (0: off)
  int randomPlies = 8;            // random legal plies after the opening line
  int openingScoreLimit = 400;    // openings scored beyond this are dropped
  int winScore = 2000;            // a score this decisive ...
  int winPlies = 4;               // ... for this many plies in a row wins
  int drawFromPly = 80;           // from this ply on, a score within ...
  int drawScore = 8;              // ... this many centipawns ...
  int drawPlies = 12;             // ... for this many plies in a row draws
  int maxPlies = 400;             // a game this long is a draw
  int keepScoreLimit = 10000;     // scores beyond this (mates) are not kept
};

// A small, fast generator; the same seed gives the same game.
struct Rng {
  uint64_t state;
  explicit Rng(uint64_t seed) : state(seed) {}
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  uint32_t below(uint32_t n) { return uint32_t((next() >> 32) * n >> 32); }
};

struct GameOutcome {
  std::vector<uint8_t> records;  // packed, labelled with the result
  int result = 0;                // white's view: 1, 0, -1
  int plies = 0;
  bool played = false;           // false when the opening was dropped
};

// Engine tables, built-in tablebases, network and the search options for
// one thread with a hashMb table. Call once per process before playGame.
void initSelfPlay(int hashMb);

// Plays one game from openingFen (any FEN the engine accepts); a position
// the built-in tablebases hold ends it with their result. Returns with
// played false when the opening after the random plies has no moves or
// scores beyond the limit.
GameOutcome playGame(const SelfPlayConfig& config, const std::string& openingFen, Rng& rng);
