// Correction history: how far the searches of recent positions with the
// same pawn structure, and with the same placement of either side's other
// pieces, ended from their corrected static evaluation. The static
// evaluation of a node is moved by a weighted sum of the three entries; the
// network misjudges some structures the same way again and again, and the
// search notices it.
#pragma once

#include <algorithm>
#include <cstdlib>

#include "search/searchthread.h"
#include "search/tt.h"

// Entries are in 1/CORRECTION_GRAIN centipawns and stay within
// +-CORRECTION_LIMIT; one update moves an entry by at most a quarter of that.
constexpr int CORRECTION_GRAIN = 16;
constexpr int CORRECTION_LIMIT = 2048;
constexpr int CORRECTION_MAX_STEP = CORRECTION_LIMIT / 4;
// Corrected evaluations stay clear of the mate and tablebase scores.
constexpr int CORRECTED_EVAL_LIMIT = 30000;

// Index of a set of bitboards in a table of CORRECTION_SIZE entries: the
// top bits of an odd-multiplier mix, so every square counts.
inline uint32_t correctionSlot(uint64_t mix) { return uint32_t(mix >> (64 - CORRECTION_BITS)); }

inline uint32_t pawnCorrectionSlot(const PositionState& st) {
  const Bitboard pawns = st.pieces[PAWN], own = ownPieces(st);
  return correctionSlot((pawns & own) * 0x9E3779B97F4A7C15ull ^ (pawns & ~own) * 0xC2B2AE3D27D4EB4Full);
}

// Knights, bishops, rooks, queens and king of the side whose pieces are side.
inline uint32_t pieceCorrectionSlot(const PositionState& st, Bitboard side) {
  return correctionSlot((st.pieces[KNIGHT] & side) * 0x9E3779B97F4A7C15ull +
                        (st.pieces[BISHOP] & side) * 0xC2B2AE3D27D4EB4Full +
                        (st.pieces[ROOK] & side) * 0x165667B19E3779F9ull +
                        (st.pieces[QUEEN] & side) * 0xD6E8FEB86659FD93ull +
                        (st.pieces[KING] & side) * 0xFF51AFD7ED558CCDull);
}

// The three entries of a position: pawns, the mover's pieces, the other side's.
struct CorrectionEntries {
  int16_t* pawn;
  int16_t* own;
  int16_t* enemy;
};

inline CorrectionEntries correctionEntries(SearchThread& t, const PositionState& st) {
  return {&t.pawnCorrection[pawnCorrectionSlot(st)], &t.pieceCorrection[0][pieceCorrectionSlot(st, ownPieces(st))],
          &t.pieceCorrection[1][pieceCorrectionSlot(st, enemyPieces(st))]};
}

// The static evaluation moved by the correction (none stays none).
inline int correctedEval(SearchThread& t, const PositionState& st, int eval) {
  if (eval == EVAL_NONE) return eval;
  const CorrectionEntries e = correctionEntries(t, st);
  const int correction = (2 * *e.pawn + *e.own + *e.enemy) / (4 * CORRECTION_GRAIN);
  return std::clamp(eval + correction, -CORRECTED_EVAL_LIMIT, CORRECTED_EVAL_LIMIT);
}

// After a search of depth that ended error centipawns from the corrected
// evaluation: each entry moves towards it, the more the deeper the search,
// and the less the nearer it already is to the limit.
inline void updateCorrection(SearchThread& t, const PositionState& st, int depth, int error) {
  const int step = std::clamp(error * depth * CORRECTION_GRAIN / 64, -CORRECTION_MAX_STEP, CORRECTION_MAX_STEP);
  const CorrectionEntries e = correctionEntries(t, st);
  for (int16_t* entry : {e.pawn, e.own, e.enemy})
    *entry = int16_t(*entry + step - *entry * std::abs(step) / CORRECTION_LIMIT);
}
