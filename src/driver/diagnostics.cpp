#include "driver/diagnostics.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/fenwriter.h"
#include "board/perft.h"
#include "driver/bench.h"
#include "search/memory.h"
#include "board/movetext.h"
#include "base/platform.h"
#include "driver/options.h"
#include "driver/session.h"
#include "eval/network.h"
#include "eval/nnue.h"

namespace {

constexpr char PIECE_LETTERS[] = " pnbrqk";

bool startsWith(const std::string& line, const char* word) { return line.compare(0, std::strlen(word), word) == 0; }

// The board in standard orientation: the stored square of a real square
// (a1 = 0), and the letter of what stands there (upper case for White).
Square storedSquare(const PositionState& st, Square real) { return isBlackToMove(st) ? real ^ 56 : real; }

char pieceLetter(const PositionState& st, Square real) {
  Square s = storedSquare(st, real);
  PieceType type = pieceOn(st, s);
  if (type == NO_PIECE) return ' ';
  bool white = ((ownPieces(st) & squareBB(s)) != 0) != isBlackToMove(st);
  return white ? char(PIECE_LETTERS[type] - 'a' + 'A') : PIECE_LETTERS[type];
}

void printSquareName(Square real) { std::printf(" %c%c", char('a' + fileOf(real)), char('1' + rankOf(real))); }

// Enemy pieces that attack the side to move's king.
Bitboard checkers(const PositionState& st) {
  Bitboard enemy = enemyPieces(st), occupied = st.pieces[ALL_PIECES];
  Square king = lsb(st.pieces[KING] & ownPieces(st));
  Bitboard diagonal = st.pieces[BISHOP] | st.pieces[QUEEN], straight = st.pieces[ROOK] | st.pieces[QUEEN];
  return enemy & ((enemyPawnAttackersOf(king) & st.pieces[PAWN]) | (knightAttacks[king] & st.pieces[KNIGHT]) |
                  (bishopAttacks(king, occupied) & diagonal) | (rookAttacks(king, occupied) & straight));
}

// The position the commands look at: the game's, or the start position
// before any search memory exists (which is what "go" would then search).
Position& currentPosition() {
  static Position startPosition;
  Position& pos = searchMemoryAllocated() ? gamePosition : startPosition;
  if (!searchMemoryAllocated()) setPosition(startPosition, START_FEN, nullptr);
  pos.chess960 = engineOptions.chess960;
  return pos;
}

void printDiagram(const PositionState& st) {
  const char* border = " +---+---+---+---+---+---+---+---+\n";
  std::printf("\n%s", border);
  for (int rank = 7; rank >= 0; --rank) {
    for (int file = 0; file < 8; ++file) std::printf(" | %c", pieceLetter(st, 8 * rank + file));
    std::printf(" | %d\n%s", rank + 1, border);
  }
  std::printf("   a   b   c   d   e   f   g   h\n\n");
}

void showBoard(const PositionState& st, int fullMove) {
  printDiagram(st);
  char fen[FEN_TEXT_SIZE];
  writeFen(st, fullMove, fen);
  std::printf("Fen: %s\nKey: %016llX\nCheckers:", fen, static_cast<unsigned long long>(st.key));
  for (Bitboard b = checkers(st); b;) printSquareName(storedSquare(st, popLsb(b)));
  std::printf("\n");
}

// The network's score of st from White's view (a synthetic board need not
// be legal: the accumulators are built afresh from its pieces).
int whiteEvaluation(const PositionState& st) {
  static NnueRecord record;
  record.computed = 0;
  int score = evaluate(st, &record, 0, engineOptions.chess960);
  return isBlackToMove(st) ? -score : score;
}

// st without the piece on stored square s; a rook takes its castling right
// with it.
PositionState withoutPiece(const PositionState& st, Square s) {
  PositionState copy = st;
  PieceType type = pieceOn(st, s);
  Bitboard bit = squareBB(s);
  copy.pieces[ALL_PIECES] &= ~bit;
  copy.pieces[type] &= ~bit;
  copy.pieces[OWN_PIECES] &= ~bit;
  if (type == ROOK && (rankOf(s) == 0 || rankOf(s) == 7)) {
    int base = (st.pieces[OWN_PIECES] & bit) ? 0 : 8;
    if ((base == 0) == (rankOf(s) == 0))
      for (int shift = base; shift < base + 8; shift += 4)
        if (((copy.castleFiles >> shift) & 15) == fileOf(s))
          copy.castleFiles = uint16_t((copy.castleFiles & ~(15 << shift)) | NO_FILE << shift);
  }
  return copy;
}

// Each piece's worth as the network sees it: the score with the piece less
// the score without it, from White's view, so White's pieces are usually
// positive and Black's negative. Kings are never removed.
void showEvaluation(const PositionState& st) {
  const int score = whiteEvaluation(st);
  std::printf("\nPiece values in centipawns from White's view (the score lost when the piece is removed):\n\n");
  const char* border = " +-------+-------+-------+-------+-------+-------+-------+-------+\n";
  std::printf("%s", border);
  for (int rank = 7; rank >= 0; --rank) {
    for (int file = 0; file < 8; ++file) std::printf(" |   %c  ", pieceLetter(st, 8 * rank + file));
    std::printf(" |\n");
    for (int file = 0; file < 8; ++file) {
      Square s = storedSquare(st, 8 * rank + file);
      PieceType type = pieceOn(st, s);
      if (type == NO_PIECE || type == KING)
        std::printf(" |      ");
      else
        std::printf(" | %+5d", score - whiteEvaluation(withoutPiece(st, s)));
    }
    std::printf(" | %d\n%s", rank + 1, border);
  }
  std::printf("     a       b       c       d       e       f       g       h\n\n");
  std::printf("Evaluation: %+d centipawns from White's view\nNetwork: %s\n", score, networkName().c_str());
}

// "go perft N": N from 0 to MAX_PLY, nothing after it.
bool readPerftDepth(const char* text, int& depth) {
  while (*text == ' ') ++text;
  if (*text < '0' || *text > '9') return false;
  errno = 0;
  char* end;
  long parsed = std::strtol(text, &end, 10);
  while (*end == ' ') ++end;
  if (errno || *end || parsed > MAX_PLY) return false;
  depth = int(parsed);
  return true;
}

// "go perft" counts on a thread of its own that holds the command lock as a
// search does, so the loop goes on reading: "isready" is answered at once,
// later commands (and "quit", so that a script's count completes) wait for
// the count, and "stop" ends one that would take hours. A stopped count
// prints the root moves it finished and a line saying so instead of a total.
Position* perftPosition;
int perftDepth;
std::atomic<uint8_t> perftStopFlag;

void* perftRoutine(void*) {
  static PerftLine lines[MAX_MOVES];
  Position& pos = *perftPosition;
  const int depth = perftDepth;
  const int legal = legalMoveCount(*pos.state);
  const int count = depth >= 1 ? perftDivide(pos, depth, lines, &perftStopFlag) : 0;
  uint64_t total = depth >= 1 ? 0 : 1;
  outputLock.lock();
  for (int i = 0; i < count; ++i) {
    char text[6];
    moveToUci(*pos.state, lines[i].move, pos.chess960, text);
    std::printf("%s: %llu\n", text, static_cast<unsigned long long>(lines[i].nodes));
    total += lines[i].nodes;
  }
  if (depth >= 1 && count < legal)
    std::printf("info string perft stopped after %d of %d root moves\n", count, legal);
  else
    std::printf("\nNodes searched: %llu\n", static_cast<unsigned long long>(total));
  std::fflush(stdout);
  outputLock.unlock();
  commandLock.release();
  return nullptr;
}

void startPerft(Position& pos, int depth) {
  perftPosition = &pos;
  perftDepth = depth;
  perftStopFlag.store(0, std::memory_order_relaxed);
  detachThread(startThread(perftRoutine, nullptr));
}

void printUsage(const char* usage) {
  std::printf("info string usage: %s\n", usage);
}

}  // namespace

void stopPerft() { perftStopFlag.store(1, std::memory_order_relaxed); }

bool isDiagnosticCommand(const std::string& line) {
  return line == "d" || line == "eval" || line == "bench" || startsWith(line, "bench ") || line == "pgo" ||
         startsWith(line, "go perft");
}

void runDiagnosticCommand(const std::string& line, int32_t gameMoves) {
  // "pgo" on the command line's input is the benchmark with its defaults,
  // for hosts (the browser) that start the engine without arguments.
  if (startsWith(line, "bench") || line == "pgo") {
    BenchSettings settings;
    if (line != "pgo" && !parseBenchSettings(line.c_str() + std::strlen("bench"), settings)) {
      printUsage(BENCH_USAGE);
    } else {
      // The benchmark takes the lock for each of its searches itself.
      acquireCommandLock();
      applyNetworkOption();
      commandLock.release();
      runBenchCommand(settings);
    }
    std::fflush(stdout);
    return;
  }
  acquireCommandLock();
  Position& pos = currentPosition();
  if (line == "d") {
    showBoard(*pos.state, searchMemoryAllocated() ? gameMoves + 1 : 1);
  } else if (line == "eval") {
    showEvaluation(*pos.state);
  } else {
    int depth;
    if (readPerftDepth(line.c_str() + std::strlen("go perft"), depth)) {
      startPerft(pos, depth);  // the count's thread releases the lock
      return;
    }
    printUsage("go perft DEPTH (0..256)");
  }
  std::fflush(stdout);
  commandLock.release();
}
