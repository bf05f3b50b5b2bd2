#include "search/movepick.h"

#include <algorithm>

#include "board/exchange.h"
#include "board/movegen.h"
#include "search/nodeutil.h"
#include "search/reduction.h"
#include "search/selection.h"

void initMovePicker(MovePicker& mp, SearchThread& thread, const PositionState& st, Move ttMove, int ply,
                    int depth, Move prevMove, Move prevPrevMove, bool inCheck) {
  mp.thread = &thread;
  mp.st = &st;
  mp.end = mp.moves;
  mp.ttMove = ttMove;
  mp.killer0 = mp.killer1 = mp.counterMove = 0;
  mp.prevMove = prevMove;
  mp.prevPrevMove = prevPrevMove;
  mp.stage = ttMove ? STAGE_TT_MOVE : STAGE_GENERATE_CAPTURES;
  mp.ply = ply;
  mp.depth = depth;
  mp.inCheck = inCheck;
  mp.probCut = false;
  mp.skipQuiet = false;
  mp.quietDropped = false;
}

void initProbCutPicker(MovePicker& mp, SearchThread& thread, const PositionState& st, Move ttMove, int ply,
                       int depth) {
  bool tactical = ttMove & (MOVE_CAPTURE | MOVE_PROMOTION);
  initMovePicker(mp, thread, st, tactical ? ttMove : 0, ply, depth, 0, 0, false);
  mp.probCut = true;
}

// Takes the entry with the highest key out of moves[0, end), the one nearest
// the end among equal keys, and swaps the last entry into its place.
static ScoredMove selectBest(MovePicker& mp) {
  ScoredMove* moves = mp.moves;
  const int last = int(mp.end - moves) - 1;
  const int best = bestEntryIndex(moves, last + 1);
  ScoredMove chosen = moves[best];
  moves[best] = moves[last];
  moves[last] = chosen;
  --mp.end;
  return chosen;
}

// Stable insertion sort: the short lists here sort faster this way than
// with the library sort. before(a, b) says a belongs in front of b.
template <class T, class Before>
static void insertionSort(T* list, int count, Before before) {
  for (int i = 1; i < count; ++i) {
    T v = list[i];
    int k = i;
    for (; k > 0 && before(v, list[k - 1]); --k) list[k] = list[k - 1];
    list[k] = v;
  }
}

int keepInSelectionOrder(ScoredMove* moves, int count, Move keepFlags) {
  // Usually few entries are kept. With distinct keys their order is simply
  // by key; only a tie among them needs the replay below.
  ScoredMove kept[MAX_GENERATED];
  int keptCount = 0;
  for (int i = 0; i < count; ++i)
    if (moves[i].move & keepFlags) kept[keptCount++] = moves[i];
  insertionSort(kept, keptCount, [](ScoredMove a, ScoredMove b) { return a.key > b.key; });
  bool tie = false;
  for (int i = 1; i < keptCount; ++i) tie |= kept[i].key == kept[i - 1].key;
  if (!tie) {
    for (int i = 0; i < keptCount; ++i) moves[keptCount - 1 - i] = kept[i];
    return keptCount;
  }

  // The selection hands out keys from the highest down. Entries of equal key
  // leave one after the other, the one at the highest index first; taking
  // one moves the entry at the end of the range (a lower key) into its slot,
  // so while a key is being handed out its other entries stay where they
  // are. Positions change only through those moves, which are replayed here.
  // Entries below the lowest kept key leave after every kept one: they are
  // never taken in the replay, only moved.
  const int32_t lowestKept = kept[keptCount - 1].key;
  int16_t entryAt[MAX_GENERATED], positionOf[MAX_GENERATED];
  int64_t byKey[MAX_GENERATED];
  int taken = 0;
  for (int i = 0; i < count; ++i) {
    entryAt[i] = positionOf[i] = int16_t(i);
    if (moves[i].key >= lowestKept) byKey[taken++] = int64_t(moves[i].key) * 65536 + i;
  }
  const auto higher = [](int64_t a, int64_t b) { return a > b; };
  if (taken > 32)
    std::sort(byKey, byKey + taken, higher);
  else
    insertionSort(byKey, taken, higher);
  int remaining = count;
  keptCount = 0;
  for (int first = 0; first < taken;) {
    const int64_t key = byKey[first] >> 16;
    int last = first + 1;
    while (last < taken && (byKey[last] >> 16) == key) ++last;
    // The entries of this key by position, highest first.
    int16_t group[MAX_GENERATED];
    int size = 0;
    for (int i = first; i < last; ++i) group[size++] = int16_t(byKey[i] & 0xFFFF);
    insertionSort(group, size, [&](int16_t a, int16_t b) { return positionOf[a] > positionOf[b]; });
    for (int i = 0; i < size; ++i) {
      const int16_t e = group[i];
      const int16_t slot = positionOf[e], end = int16_t(remaining - 1);
      if (slot != end) {
        const int16_t moved = entryAt[end];
        entryAt[slot] = moved;
        positionOf[moved] = slot;
      }
      --remaining;
      if (moves[e].move & keepFlags) kept[keptCount++] = moves[e];
    }
    first = last;
  }
  for (int i = 0; i < keptCount; ++i) moves[keptCount - 1 - i] = kept[i];
  return keptCount;
}

// Puts an entry back at the end of the remaining range (it was the last
// one selected, so it still sits right behind end).
static void keepSelected(MovePicker& mp, int32_t key) {
  mp.end->key = key;
  ++mp.end;
}

static bool sameMove(Move a, Move b) { return withoutCheck(a) == withoutCheck(b); }

// A killer or counter move remembered from another position, if it can be
// played here.
static bool rememberedMovePlayable(const MovePicker& mp, Move move) {
  return move && !sameMove(move, mp.ttMove) && isPseudoLegal(*mp.st, move) && !leavesKingAttacked(*mp.st, move);
}

// Adds quietHistoryScore to the key of every quiet entry, with the node's
// history slices looked up once.
static void scoreQuietMoves(const SearchThread& t, const PositionState& st, ScoredMove* begin, ScoredMove* end,
                            Move prevMove, Move prevPrevMove) {
  const int side = sideIndex(st);
  const auto& main = t.mainHistory[side];
  const auto& cont1 = t.contHist1[side][movePiece(prevMove)][moveTo(prevMove)];
  const auto& cont2 = t.contHist2[side][movePiece(prevPrevMove)][moveTo(prevPrevMove)];
  for (ScoredMove* p = begin; p < end; ++p)
    if (!(p->move & (MOVE_CAPTURE | MOVE_PROMOTION))) {
      const PieceType piece = movePiece(p->move);
      const Square to = moveTo(p->move);
      p->key += main[piece][moveFrom(p->move)][to] + 2 * (cont1[piece][to] + cont2[piece][to]);
    }
}

// Re-keys the captures and queen promotions of a position not in check by
// victim, then by capture history (the attacker order of the generator
// gives way to what the search learned).
static void scoreCaptures(const SearchThread& t, const PositionState& st, ScoredMove* begin, ScoredMove* end) {
  const auto& history = t.captureHistory[sideIndex(st)];
  for (ScoredMove* p = begin; p < end; ++p) {
    const Move move = p->move;
    const int victim = std::min(int(moveCaptured(move)), int(QUEEN));
    if (move & MOVE_PROMOTION) {
      if (movePromotion(move) == QUEEN) p->key = PICK_GOOD_CAPTURE + CAPTURE_PROMOTION_KEY + victim;
      continue;
    }
    const int h = history[movePiece(move)][moveTo(move)][moveCaptured(move)];
    const int bucket = std::clamp(CAPTURE_VICTIM_STEP / 2 + h / CAPTURE_HISTORY_DIVISOR, 0, CAPTURE_VICTIM_STEP - 1);
    p->key = PICK_GOOD_CAPTURE + CAPTURE_VICTIM_STEP * victim + bucket;
  }
}

static ScoredMove handOut(const PositionState& st, Move move, int32_t key) {
  setGivesCheck(st, &move);
  return {key, move};
}

ScoredMove pickNextMove(MovePicker& mp) {
  const PositionState& st = *mp.st;
  SearchThread& t = *mp.thread;
  for (;;) {
    switch (mp.stage) {
      case STAGE_TT_MOVE:
        mp.stage = STAGE_GENERATE_CAPTURES;
        return {PICK_TT_MOVE, mp.ttMove};

      case STAGE_GENERATE_CAPTURES:
        if (mp.inCheck) {
          mp.end = generateEvasions(st, mp.moves, mp.depth >= UNDERPROMOTION_MIN_DEPTH);
        } else {
          mp.end = generateCaptures(st, mp.moves);
          scoreCaptures(t, st, mp.moves, mp.end);
        }
        mp.stage = STAGE_GOOD_CAPTURES;
        continue;

      case STAGE_GOOD_CAPTURES:
        while (mp.end > mp.moves) {
          ScoredMove sm = selectBest(mp);
          if (sm.key < PICK_GOOD_CAPTURE) {
            keepSelected(mp, sm.key);
            break;
          }
          if (sameMove(sm.move, mp.ttMove) || leavesKingAttacked(st, sm.move)) continue;
          // A capture of an equal or bigger piece cannot lose material.
          if (seeValue[movePiece(sm.move)] <= seeValue[moveCaptured(sm.move)]) return handOut(st, sm.move, sm.key);
          int exchange = staticExchange(st, sm.move);
          if (exchange >= 0) return handOut(st, sm.move, sm.key);
          keepSelected(mp, losingCaptureKey(exchange, sm.key));
        }
        mp.stage = mp.probCut ? STAGE_DONE : mp.inCheck ? STAGE_GENERATE_QUIETS : STAGE_KILLER_0;
        continue;

      case STAGE_KILLER_0:
        mp.killer0 = t.killers[mp.ply][0];
        mp.killer1 = t.killers[mp.ply][1];
        mp.stage = STAGE_KILLER_1;
        if (rememberedMovePlayable(mp, mp.killer0)) return handOut(st, mp.killer0, PICK_KILLER);
        continue;

      case STAGE_KILLER_1:
        mp.stage = STAGE_COUNTER_MOVE;
        if (rememberedMovePlayable(mp, mp.killer1)) return handOut(st, mp.killer1, PICK_KILLER);
        continue;

      case STAGE_COUNTER_MOVE:
        mp.counterMove = counterMoveOf(t, st, mp.prevMove);
        mp.stage = STAGE_GENERATE_QUIETS;
        if (mp.counterMove != mp.killer0 && mp.counterMove != mp.killer1 &&
            rememberedMovePlayable(mp, mp.counterMove))
          return handOut(st, mp.counterMove, PICK_KILLER);
        continue;

      case STAGE_GENERATE_QUIETS:
        // In check the evasion list already holds the quiet evasions.
        if (!mp.inCheck) {
          if (mp.depth >= UNDERPROMOTION_MIN_DEPTH) mp.end = generateUnderPromotions(st, mp.end);
          mp.end = generateQuiets(st, mp.end, false);
        }
        scoreQuietMoves(t, st, mp.moves, mp.end, mp.prevMove, mp.prevPrevMove);
        mp.stage = STAGE_REMAINING;
        continue;

      case STAGE_REMAINING:
        if (mp.skipQuiet && !mp.quietDropped) {
          mp.end = mp.moves + keepInSelectionOrder(mp.moves, int(mp.end - mp.moves), TACTICAL_FLAGS);
          mp.quietDropped = true;
        }
        while (mp.end > mp.moves) {
          ScoredMove sm = mp.quietDropped ? *--mp.end : selectBest(mp);
          Move plain = withoutCheck(sm.move);
          if (plain == withoutCheck(mp.ttMove)) continue;
          if (!mp.inCheck && (plain == mp.killer0 || plain == mp.killer1 || plain == mp.counterMove)) continue;
          if (leavesKingAttacked(st, sm.move)) continue;
          // Quiet moves come with their check flag from the generator.
          if (mp.inCheck || (sm.move & (MOVE_CAPTURE | MOVE_PROMOTION))) setGivesCheck(st, &sm.move);
          return sm;
        }
        mp.stage = STAGE_DONE;
        return {0, 0};

      default:
        return {0, 0};
    }
  }
}

void recordTTCutoffMove(SearchThread& t, const PositionState& st, int ply, TTMove ttMove, Move prevMove) {
  constexpr TTMove TT_PROMOTION_BIT = 1 << 14;
  constexpr TTMove TT_EN_PASSANT_BIT = 1 << 13;
  if (!ttMove || isInCheck(st) || (ttMove & (TT_PROMOTION_BIT | TT_EN_PASSANT_BIT))) return;
  Square to = (ttMove >> 6) & 63;
  if (enemyPieces(st) & squareBB(to)) return;
  if (!isPseudoLegalTTMove(st, ttMove)) return;
  updateKillersAndCounter(t, st, ply, expandTTMove(st, ttMove), prevMove);
}

