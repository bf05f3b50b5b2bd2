// Staged move picker of the main search and the learning tables behind it.
//
// Outside check the moves come in this order: the hash move; queen
// promotions and the captures that do not lose material (best victim first,
// then by capture history); killer 0, killer 1 and the counter move; then
// everything else (quiet moves by history, losing captures,
// under-promotions) in one key order. In check: the hash move, winning
// evasion captures, then all other evasions by key. Moves are generated
// lazily and tested for legality only when handed out; every returned move
// carries a correct MOVE_CHECK.
#pragma once

#include <cstdint>

#include "board/exchange.h"
#include "board/types.h"
#include "search/searchthread.h"

// Keys the picker gives. A key of PICK_GOOD_CAPTURE or more marks a good
// capture (or the hash move); below PICK_LOSING_LIMIT lie losing captures and
// under-promotions.
constexpr int32_t PICK_GOOD_CAPTURE = 0x7FFFFF00;
constexpr int32_t PICK_TT_MOVE = PICK_GOOD_CAPTURE;
// The largest key a quiet move can reach from its histories: 32767 + 2 * 65534.
constexpr int32_t PICK_KILLER = 163835;
constexpr int32_t PICK_LOSING_BASE = -2047483773;
constexpr int32_t PICK_LOSING_LIMIT = -2047483645;

// Learning-table limits and update sizes.
constexpr int HISTORY_LIMIT = 32767;
constexpr int HISTORY_BONUS_SCALE = 16;
constexpr int HISTORY_DEPTH_SQUARE_CAP = 1600;
// Good captures outside check are keyed by victim first, then by capture
// history: PICK_GOOD_CAPTURE + VICTIM_STEP * victim + a history bucket in
// [0, VICTIM_STEP), queen promotions above every capture.
constexpr int CAPTURE_VICTIM_STEP = 40;
constexpr int CAPTURE_HISTORY_DIVISOR = 1600;
constexpr int CAPTURE_PROMOTION_KEY = 240;
// Captures tried before a cutoff that the search remembers for the malus.
constexpr int MAX_CAPTURES_KEPT = 32;
// Under-promotions are worth generating only in deep nodes.
constexpr int UNDERPROMOTION_MIN_DEPTH = 8;

enum PickStage : int32_t {
  STAGE_TT_MOVE = 0,
  STAGE_GENERATE_CAPTURES = 1,
  STAGE_GOOD_CAPTURES = 2,
  STAGE_KILLER_0 = 3,
  STAGE_KILLER_1 = 4,
  STAGE_COUNTER_MOVE = 5,
  STAGE_GENERATE_QUIETS = 6,
  STAGE_REMAINING = 7,
  STAGE_DONE = 8,
};

// Lives in the node's frame (trivially destructible: the search may leave it
// by longjmp). moves[0, end) is the part of the buffer still to choose from;
// chosen entries are swapped behind end. killer0, killer1 and counterMove
// are the values the picker read (0 before their stages, and in check),
// without MOVE_CHECK; the search uses them for its reduction and pruning
// exceptions.
struct MovePicker {
  SearchThread* thread;
  const PositionState* st;
  ScoredMove* end;
  Move ttMove;  // full move from the table (validated), 0 if none
  Move killer0;
  Move killer1;
  Move counterMove;
  Move prevMove;
  Move prevPrevMove;
  int32_t stage;
  int32_t ply;
  int32_t depth;
  bool inCheck;
  bool probCut;  // stop after the good captures
  // Set by the search once every later move without one of TACTICAL_FLAGS
  // would be pruned: the picker then drops those unseen.
  bool skipQuiet;
  bool quietDropped;  // the remaining list holds only the kept moves
  ScoredMove moves[MAX_GENERATED];
};

// Rearranges moves[0, count) so that handing them out from the end gives
// exactly the order of repeated best-entry selection (highest key, the last
// of equal keys, swapped to the end of the range), keeping only entries with
// one of keepFlags; returns how many were kept.
int keepInSelectionOrder(ScoredMove* moves, int count, Move keepFlags);

// ttMove is the validated table move (validateTTMove), or 0.
void initMovePicker(MovePicker& mp, SearchThread& thread, const PositionState& st, Move ttMove, int ply,
                    int depth, Move prevMove, Move prevPrevMove, bool inCheck);

// ProbCut candidates: the table move when it is a capture or promotion, then
// the good captures and queen promotions, stopping at the first key below
// PICK_GOOD_CAPTURE. Only for positions not in check. ttMove is the
// validated table move or 0 (a quiet one is ignored).
void initProbCutPicker(MovePicker& mp, SearchThread& thread, const PositionState& st, Move ttMove, int ply,
                       int depth);

// The next move with its key, or {0, 0} when the list is exhausted.
ScoredMove pickNextMove(MovePicker& mp);

// After a quiet move caused a cutoff: reward it in the histories, punish the
// quiet moves searched before it (quiets[0..quietCount), oldest first), and
// when not in check make it killer 0 and the counter move of prevMove.
void updateQuietStats(SearchThread& thread, const PositionState& st, int ply, int depth, Move bestMove,
                      const Move* quiets, int quietCount, Move prevMove, Move prevPrevMove);

// After a cutoff: reward bestMove in the capture history when it is a
// capture or promotion, and punish the captures searched before it
// (captures[0..captureCount)).
void updateCaptureStats(SearchThread& thread, const PositionState& st, int depth, Move bestMove,
                        const Move* captures, int captureCount);

// Killer and counter-move update alone (killer 1 takes the old killer 0
// unless the move already is killer 0).
void updateKillersAndCounter(SearchThread& thread, const PositionState& st, int ply, Move move, Move prevMove);

// The hash-cutoff variant: when not in check and the table move is quiet (no
// promotion, no en passant, no enemy piece on its to-square) and
// pseudo-legal here, record it as killer and counter move.
void recordTTCutoffMove(SearchThread& thread, const PositionState& st, int ply, TTMove ttMove, Move prevMove);

// Ageing at the start of a search: halve every history entry, move the
// killers of ply 2 to ply 0 and clear those of ply 1.
void ageSearchTables(SearchThread& thread);

// Zeroes killers, counter moves and all histories (new search memory).
void clearSearchTables(SearchThread& thread);

// The counter move remembered for the reply to prevMove (0 if none).
Move counterMoveOf(const SearchThread& thread, const PositionState& st, Move prevMove);

// History key of a quiet move at a node: mainHistory + 2 * (contHist1 + contHist2).
int quietHistoryScore(const SearchThread& thread, const PositionState& st, Move move, Move prevMove,
                      Move prevPrevMove);

// Bonus of a cutoff at depth: 16 * min(depth^2, 1600).
constexpr int historyBonus(int depth) {
  int square = depth * depth;
  return HISTORY_BONUS_SCALE * (square < HISTORY_DEPTH_SQUARE_CAP ? square : HISTORY_DEPTH_SQUARE_CAP);
}
// Moves h towards +-HISTORY_LIMIT, the step shrinking as h approaches it, so
// an entry never leaves the 16-bit range.
constexpr int16_t historyReward(int h, int bonus) { return int16_t(h + bonus - h * bonus / HISTORY_LIMIT); }
constexpr int16_t historyPenalty(int h, int bonus) { return int16_t(h - bonus - h * bonus / HISTORY_LIMIT); }

// Key of a capture found to lose material: below every quiet move, ordered
// by exchange value, then by the generator's victim/attacker bits.
constexpr int32_t losingCaptureKey(int exchange, int32_t generatorKey) {
  return exchange * 128 + (generatorKey & 127) + PICK_LOSING_BASE;
}
