#include "gameboard.h"

#include <cstring>
#include <mutex>
#include <sstream>

#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/movetext.h"

namespace {

// setPosition also records the last moves in process-wide variables, so
// concurrent games set up their boards one at a time.
std::mutex setupLock;

// Room left at the top of the state stack before the reversible tail is
// moved down to the bottom.
constexpr int STACK_HEADROOM = 8;

bool validBoardField(const std::string& field, std::string& error) {
  int rank = 0;
  int file = 0;
  int kings[2] = {0, 0};
  for (char c : field) {
    if (c == '/') {
      if (file != 8) break;
      ++rank;
      file = 0;
    } else if (c >= '1' && c <= '8') {
      file += c - '0';
    } else if (std::strchr("pnbrqkPNBRQK", c)) {
      if (c == 'K') ++kings[0];
      if (c == 'k') ++kings[1];
      ++file;
    } else {
      file = 99;
    }
    if (file > 8) break;
  }
  if (rank != 7 || file != 8) {
    error = "board field is not eight ranks of eight squares";
    return false;
  }
  if (kings[0] != 1 || kings[1] != 1) {
    error = "each side needs exactly one king";
    return false;
  }
  return true;
}

bool validFen(const std::string& fen, std::string& error) {
  if (fen.size() > size_t(MAX_FEN_LENGTH)) {
    error = "FEN too long";
    return false;
  }
  std::istringstream in(fen);
  std::string fields[4];
  for (std::string& field : fields)
    if (!(in >> field)) {
      error = "FEN needs at least four fields";
      return false;
    }
  if (!validBoardField(fields[0], error)) return false;
  if (fields[1] != "w" && fields[1] != "b") {
    error = "side to move must be w or b";
    return false;
  }
  if (fields[2] != "-")
    for (char c : fields[2])
      if (!std::strchr("KQkqABCDEFGHabcdefgh", c)) {
        error = "bad castling field";
        return false;
      }
  const std::string& ep = fields[3];
  if (ep != "-" && (ep.size() != 2 || ep[0] < 'a' || ep[0] > 'h' || (ep[1] != '3' && ep[1] != '6'))) {
    error = "bad en-passant field";
    return false;
  }
  return true;
}

void refreshLegalMoves(GameBoard& board) {
  board.legalCount = int(generateLegalMoves(board.state(), board.legal) - board.legal);
}

RepetitionRecord recordOf(const GameBoard& board) {
  const PositionState& st = board.state();
  RepetitionRecord record;
  std::memcpy(record.pieces, st.pieces, sizeof record.pieces);
  record.castleFiles = st.castleFiles;
  record.black = isBlackToMove(st) ? 1 : 0;
  record.epFile = NO_FILE;
  // An en-passant square only distinguishes positions when the capture is legal.
  for (int i = 0; i < board.legalCount; ++i)
    if (board.legal[i].move & MOVE_EN_PASSANT) record.epFile = uint8_t(epFile(st));
  return record;
}

}  // namespace

Square absoluteSquare(const PositionState& st, Square s) { return isBlackToMove(st) ? mirrorSquare(s) : s; }

bool setupBoard(GameBoard& board, const std::string& fen, std::string& error) {
  if (!validFen(fen, error)) return false;
  {
    std::lock_guard<std::mutex> guard(setupLock);
    SetupError setup = setUpPosition(*board.position, fen.c_str(), "").error;
    if (setup != SETUP_OK) {
      error = setupErrorText(setup);
      return false;
    }
  }
  std::istringstream in(fen);
  std::string field;
  for (int i = 0; i < 5; ++i) in >> field;
  int fullMove = 1;
  if (in >> fullMove && fullMove < 1) fullMove = 1;
  board.fullMoveNumber = fullMove;
  board.plies = 0;
  refreshLegalMoves(board);
  board.history.assign(1, recordOf(board));
  return true;
}

Move findLegalMove(const GameBoard& board, const std::string& uciText) {
  if (uciText.size() < 4 || uciText.size() > 5) return MOVE_NONE;
  char text[6];
  for (int i = 0; i < board.legalCount; ++i) {
    moveToUci(board.state(), board.legal[i].move, board.position->chess960, text);
    if (uciText == text) return board.legal[i].move;
  }
  return MOVE_NONE;
}

void playMove(GameBoard& board, Move move) {
  bool blackMoved = isBlackToMove(board.state());
  Position& pos = *board.position;
  makeMove(pos, move, nullptr);
  // After a capture or pawn move nothing before it matters for the board
  // code, so the state stack restarts there and never runs out.
  if (pos.state->rule50 == 0 || pos.state - pos.stateStack >= STATE_STACK_SIZE - STACK_HEADROOM) {
    pos.stateStack[0] = *pos.state;
    pos.state = pos.stateStack;
  }
  if (blackMoved) ++board.fullMoveNumber;
  ++board.plies;
  refreshLegalMoves(board);
  board.history.push_back(recordOf(board));
}

int repetitionCount(const GameBoard& board) {
  const RepetitionRecord& current = board.history.back();
  int count = 0;
  for (const RepetitionRecord& record : board.history) count += record == current;
  return count;
}
