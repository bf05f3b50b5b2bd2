#include "selfplay.h"

#include <cstdlib>

#include "board/fen.h"
#include "board/material.h"
#include "board/movegen.h"
#include "driver/uci.h"
#include "search/memory.h"
#include "search/rootsearch.h"
#include "tablebase/probe.h"
#include "tablebase/registry.h"
#include "trainingdata/record.h"

namespace {

// Table size of every game's search.
int gameHashMb = 16;

struct SearchOutcome {
  Move move;
  int score;  // last finished iteration's, side to move's view
};

// A node-limited search of pos, exactly as "go nodes" runs it but silent.
// Needs at least one legal move.
SearchOutcome searchNodes(const Position& pos, int64_t nodes, int64_t softNodes, int plies) {
  SearchLimits limits;
  limits.nodes = nodes;
  if (softNodes > 0) limits.softNodes = softNodes;
  limits.gameMoves = plies / 2;
  const SearchResult result = searchPosition(pos, limits, SearchConfig());
  return {result.best, result.iterationScore};
}

int legalMoveCount(const PositionState& st, ScoredMove* list) {
  return int(generateLegalMoves(st, list) - list);
}

// The game's result from white's view by the built-in tablebases, under the
// fifty-move rule; false when the position is not in them.
bool tablebaseResult(Position& pos, int& result) {
  const PositionState& st = *pos.state;
  if (popcount(st.pieces[ALL_PIECES]) > tablebaseMaxPieces() || st.castleFiles != NO_CASTLING) return false;
  int status = PROBE_FAILED;
  const int wdl = probeWdl(pos, &status);
  if (status == PROBE_FAILED) return false;
  const int mover = wdl == 2 ? 1 : wdl == -2 ? -1 : 0;
  result = isBlackToMove(st) ? -mover : mover;
  return true;
}

// The current position occurred twice before (same side to move) since the
// last irreversible move, which the game's state stack starts at.
bool threefold(const Position& pos) {
  int seen = 0;
  for (ptrdiff_t i = pos.state - pos.stateStack - 2; i >= 0; i -= 2)
    if (pos.stateStack[i].key == pos.state->key && ++seen == 2) return true;
  return false;
}

}  // namespace

void initSelfPlay(int hashMb) {
  initEngine();
  gameHashMb = hashMb;
}

GameOutcome playGame(const SelfPlayConfig& config, const std::string& openingFen, Rng& rng) {
  GameOutcome game;
  // A fresh table and histories for every game keep games independent.
  allocateSearchMemory(gameHashMb, 1, false);
  static Position pos;
  setPosition(pos, openingFen.c_str(), nullptr);
  ScoredMove list[MAX_GENERATED];
  for (int i = 0; i < config.randomPlies; ++i) {
    const int count = legalMoveCount(*pos.state, list);
    if (count == 0) return game;
    playGameMove(pos, list[rng.below(uint32_t(count))].move);
  }
  int plies = config.randomPlies;

  struct Kept {
    TrainingPosition position;
    bool black;
  };
  std::vector<Kept> kept;
  int winStreak = 0, drawStreak = 0;
  int result = 0;  // white's view
  for (bool first = true;; first = false, ++plies) {
    const PositionState& st = *pos.state;
    const bool black = isBlackToMove(st);
    if (legalMoveCount(st, list) == 0) {
      if (first) return game;
      result = isInCheck(st) ? (black ? 1 : -1) : 0;
      break;
    }
    if (!first && (st.rule50 >= 100 || threefold(pos) || insufficientMaterial(st) || plies >= config.maxPlies)) break;
    if (!first && tablebaseResult(pos, result)) break;

    const SearchOutcome found = searchNodes(pos, config.nodes, config.softNodes, plies);
    if (first && std::abs(found.score) > config.openingScoreLimit) return game;
    const bool quiet = !(found.move & (MOVE_CAPTURE | MOVE_PROMOTION));
    if (!isInCheck(st) && quiet && std::abs(found.score) < config.keepScoreLimit) {
      TrainingPosition p = positionFromState(st, 1 + plies / 2);
      p.score = int16_t(found.score);
      kept.push_back({p, black});
    }

    const int whiteScore = black ? -found.score : found.score;
    winStreak = whiteScore >= config.winScore    ? std::max(winStreak, 0) + 1
                : whiteScore <= -config.winScore ? std::min(winStreak, 0) - 1
                                                 : 0;
    if (std::abs(winStreak) >= config.winPlies) {
      result = winStreak > 0 ? 1 : -1;
      break;
    }
    drawStreak = plies >= config.drawFromPly && std::abs(found.score) <= config.drawScore ? drawStreak + 1 : 0;
    if (drawStreak >= config.drawPlies) break;
    playGameMove(pos, found.move);
  }

  game.played = true;
  game.result = result;
  game.plies = plies;
  game.records.resize(kept.size() * RECORD_BYTES);
  for (size_t i = 0; i < kept.size(); ++i) {
    kept[i].position.result = int8_t(kept[i].black ? -result : result);
    packRecord(kept[i].position, game.records.data() + i * RECORD_BYTES);
  }
  return game;
}
