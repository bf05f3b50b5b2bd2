#include <algorithm>

#include "eval/accumulator.h"
#include "eval/layers.h"
#include "eval/nnue.h"

namespace {

// Static scores stay clear of the mate range.
constexpr int EVAL_LIMIT = 30966;
// A Chess960 bishop in its corner behind its own fianchetto-square pawn is
// shut in, worse still when that pawn cannot advance.
constexpr int CORNER_BISHOP_PENALTY = 60;
constexpr int CORNER_BISHOP_BLOCKED_PENALTY = 80;

int cornerBishopPenalty(const PositionState& st, Bitboard bishops, Bitboard pawns, Square corner, Square pawn,
                        Square front) {
  if (!(bishops & squareBB(corner)) || !(pawns & squareBB(pawn))) return 0;
  return (st.pieces[ALL_PIECES] & squareBB(front)) ? CORNER_BISHOP_BLOCKED_PENALTY : CORNER_BISHOP_PENALTY;
}

// Only Chess960 start positions put bishops in the corners, a pattern the
// network rarely sees; the correction charges for the trapped bishop.
int chess960Correction(const PositionState& st) {
  Bitboard own = ownPieces(st), enemy = enemyPieces(st);
  Bitboard ownBishops = st.pieces[BISHOP] & own, ownPawns = st.pieces[PAWN] & own;
  Bitboard enemyBishops = st.pieces[BISHOP] & enemy, enemyPawns = st.pieces[PAWN] & enemy;
  return cornerBishopPenalty(st, enemyBishops, enemyPawns, 56, 49, 41) +
         cornerBishopPenalty(st, enemyBishops, enemyPawns, 63, 54, 46) -
         cornerBishopPenalty(st, ownBishops, ownPawns, 0, 9, 17) -
         cornerBishopPenalty(st, ownBishops, ownPawns, 7, 14, 22);
}

}  // namespace

int evaluate(const PositionState& st, NnueRecord* records, int ply, bool chess960) {
  NnueRecord& record = records[ply];
  if (!record.computed) computeAccumulators(st, records, ply);
  int score = forwardPass(record.own, record.other);
  if (chess960) score += chess960Correction(st);
  return std::clamp(score, -EVAL_LIMIT, EVAL_LIMIT);
}
