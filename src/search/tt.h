// The transposition table: one array of two-word slots shared by every search
// thread without locks. A slot validates itself: checkWord is the position
// key XOR dataWord, so a slot torn by two simultaneous writers (or holding
// another position) fails the check and reads as a miss.
//
// dataWord layout (bit 0 least significant):
//   0-7   depth + 128           8-22  15-bit TTMove (0 = none)
//   23    BOUND_LOWER           24    BOUND_EXACT (neither: upper bound)
//   25-31 generation            32-47 score, mate scores node-relative
//   48-63 static eval (EVAL_NONE when not computed)
//
// Stores provided here: the main-search store (with the protection of exact
// results of the current search against non-PV nodes), the quiescence store
// (which never replaces an entry of depth >= 1 from the current search) and
// the unconditional root store.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/exchange.h"
#include "board/types.h"

// One slot; both words are accessed with relaxed 64-bit loads and stores.
struct TTEntry {
  std::atomic<uint64_t> checkWord;
  std::atomic<uint64_t> dataWord;
};
static_assert(sizeof(TTEntry) == 16, "slots are 16 bytes, four to a cache line");

constexpr uint32_t BOUND_UPPER = 0;
constexpr uint32_t BOUND_LOWER = 1u << 23;
constexpr uint32_t BOUND_EXACT = 1u << 24;
constexpr uint32_t BOUND_MASK = BOUND_LOWER | BOUND_EXACT;

constexpr int TT_DEPTH_OFFSET = 128;
constexpr int TT_MOVE_SHIFT = 8;
constexpr uint32_t TT_GENERATION_MASK = 0xFE000000u;
constexpr uint32_t TT_GENERATION_STEP = 1u << 25;  // 128 generations, then wrap

// Scores are centipawns from the side to move's view. Mated at ply p scores
// p - SCORE_MATE; beyond +-SCORE_MATE_IN_MAX lie only mate and tablebase
// scores, which the table keeps relative to the node.
constexpr int SCORE_INFINITE = 32767;
constexpr int SCORE_MATE = 32766;
constexpr int SCORE_MATE_IN_MAX = 31966;
constexpr int EVAL_NONE = -32767;

extern TTEntry* transpositionTable;  // slot count = ttMask + 1 (a power of two)
extern uint64_t ttMask;
// Generation in bits 25-31, low bits zero; advanced once per search.
extern uint32_t ttGeneration;

inline void advanceTTGeneration() { ttGeneration += TT_GENERATION_STEP; }

inline TTEntry* ttSlot(uint64_t key) { return &transpositionTable[key & ttMask]; }

// Starts loading the slot of key into the cache; the probe comes later.
inline void prefetchTT(uint64_t key) { __builtin_prefetch(ttSlot(key)); }

// Mate scores count plies from the node where they are stored, so that the
// same entry means the same thing wherever the position is reached again.
constexpr int scoreToTT(int score, int ply) {
  return score > SCORE_MATE_IN_MAX ? score + ply : score < -SCORE_MATE_IN_MAX ? score - ply : score;
}
constexpr int scoreFromTT(int score, int ply) {
  return score > SCORE_MATE_IN_MAX ? score - ply : score < -SCORE_MATE_IN_MAX ? score + ply : score;
}

// Field accessors of a dataWord.
constexpr int ttDepthByte(uint64_t data) { return int(data & 0xFF); }
constexpr int ttDepth(uint64_t data) { return ttDepthByte(data) - TT_DEPTH_OFFSET; }
constexpr TTMove ttMoveOf(uint64_t data) { return TTMove((data >> TT_MOVE_SHIFT) & 0x7FFF); }
constexpr uint32_t ttBoundOf(uint64_t data) { return uint32_t(data) & BOUND_MASK; }
constexpr uint32_t ttGenerationOf(uint64_t data) { return uint32_t(data) & TT_GENERATION_MASK; }
constexpr int ttRawScore(uint64_t data) { return int16_t(uint16_t(data >> 32)); }
constexpr int ttEval(uint64_t data) { return int16_t(uint16_t(data >> 48)); }

// Packs a slot's dataWord. score must already be node-relative (scoreToTT);
// it is clamped to the 16-bit field so that an out-of-range value can never
// wrap into a score of the opposite sign.
constexpr uint64_t packTTData(int depth, uint32_t bound, TTMove move, int score, int eval,
                              uint32_t generation) {
  int clamped = score > SCORE_INFINITE ? SCORE_INFINITE : score < -SCORE_INFINITE ? -SCORE_INFINITE : score;
  return uint64_t(uint8_t(depth + TT_DEPTH_OFFSET)) | uint64_t(move & 0x7FFF) << TT_MOVE_SHIFT |
         uint64_t(bound) | uint64_t(generation & TT_GENERATION_MASK) |
         uint64_t(uint16_t(int16_t(clamped))) << 32 | uint64_t(uint16_t(int16_t(eval))) << 48;
}

// Decoded contents of a slot that matched its key.
struct TTHit {
  uint64_t data;  // the raw dataWord
  TTMove move;    // 0 when the slot holds none
  int depth;
  uint32_t bound;  // BOUND_UPPER, BOUND_LOWER or BOUND_EXACT
  int score;       // adjusted to the probing node's ply
  int eval;        // stored static eval, EVAL_NONE if none
};

// Reads the slot of key; true when it holds key. On a miss hit is set to an
// empty entry (no move, depth -128, EVAL_NONE) and must not be used.
inline bool ttProbe(uint64_t key, int ply, TTHit& hit) {
  TTEntry* slot = ttSlot(key);
  uint64_t check = slot->checkWord.load(std::memory_order_relaxed);
  uint64_t data = slot->dataWord.load(std::memory_order_relaxed);
  if ((check ^ data) != key) {
    hit = TTHit{0, 0, -TT_DEPTH_OFFSET, BOUND_UPPER, 0, EVAL_NONE};
    return false;
  }
  hit = TTHit{data, ttMoveOf(data), ttDepth(data), ttBoundOf(data), scoreFromTT(ttRawScore(data), ply),
              ttEval(data)};
  return true;
}

inline void ttWrite(TTEntry* slot, uint64_t key, uint64_t data) {
  slot->checkWord.store(key ^ data, std::memory_order_relaxed);
  slot->dataWord.store(data, std::memory_order_relaxed);
}

// Bound of a finished node: exact inside the window, lower after a cutoff,
// upper when no move raised alpha.
constexpr uint32_t ttBoundFor(bool raisedAlpha, int alpha, int beta) {
  return !raisedAlpha ? BOUND_UPPER : alpha < beta ? BOUND_EXACT : BOUND_LOWER;
}

// Store at the end of a main-search node. move is the best move when one
// raised alpha, else the full move the node's own probe gave (possibly 0), so
// that an upper bound keeps the previous best move. A non-PV node never
// replaces an exact entry of depth >= 1 written in the current search (the
// resident key is not compared). Returns whether the slot was written.
inline bool ttStore(uint64_t key, bool pvNode, int depth, uint32_t bound, Move move, int score, int eval,
                    int ply) {
  TTEntry* slot = ttSlot(key);
  if (!pvNode) {
    uint64_t old = slot->dataWord.load(std::memory_order_relaxed);
    if (ttDepthByte(old) > TT_DEPTH_OFFSET && ttGenerationOf(old) == ttGeneration &&
        (old & BOUND_EXACT))
      return false;
  }
  ttWrite(slot, key, packTTData(depth, bound, toTTMove(move), scoreToTT(score, ply), eval, ttGeneration));
  return true;
}

// Store of a quiescence node (depth 0 or -1): it never replaces an entry of
// depth >= 1 from the current search, whatever its bound or key.
inline bool ttStoreQuiescence(uint64_t key, int depth, uint32_t bound, Move move, int score, int eval,
                              int ply) {
  TTEntry* slot = ttSlot(key);
  uint64_t old = slot->dataWord.load(std::memory_order_relaxed);
  if (ttGenerationOf(old) == ttGeneration && ttDepthByte(old) > TT_DEPTH_OFFSET) return false;
  ttWrite(slot, key, packTTData(depth, bound, toTTMove(move), scoreToTT(score, ply), eval, ttGeneration));
  return true;
}

// Root result of a finished iteration: exact, written unconditionally.
inline void ttStoreRoot(uint64_t key, int depth, Move move, int score, int eval) {
  ttWrite(ttSlot(key), key, packTTData(depth, BOUND_EXACT, toTTMove(move), score, eval, ttGeneration));
}
