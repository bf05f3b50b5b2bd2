#include "pgn.h"

#include <ctime>

#include "board/movetext.h"

namespace {

constexpr size_t PGN_LINE_WIDTH = 79;
constexpr char PIECE_LETTERS[] = " PNBRQK";

std::string squareName(Square s) { return {char('a' + fileOf(s)), char('1' + rankOf(s))}; }

// PGN strings escape backslashes and quotes.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string sanMove(const GameBoard& board, Move move) {
  const PositionState& st = board.state();
  PieceType piece = movePiece(move);
  Square from = moveFrom(move);
  Square to = moveTo(move);
  if (move & MOVE_CASTLE) {
    // The UCI text names the king's target or, in Chess960, the rook: in
    // both notations a target file beyond the king's is the king side.
    char text[6];
    moveToUci(st, move, board.position->chess960, text);
    return text[2] > text[0] ? "O-O" : "O-O-O";
  }
  std::string san;
  bool capture = (move & MOVE_CAPTURE) != 0;
  if (piece == PAWN) {
    if (capture) san += char('a' + fileOf(from));
  } else {
    san += PIECE_LETTERS[piece];
    bool ambiguous = false;
    bool sameFile = false;
    bool sameRank = false;
    for (int i = 0; i < board.legalCount; ++i) {
      Move other = board.legal[i].move;
      if (other == move || movePiece(other) != piece || moveTo(other) != to || (other & MOVE_CASTLE))
        continue;
      ambiguous = true;
      sameFile |= fileOf(moveFrom(other)) == fileOf(from);
      sameRank |= rankOf(moveFrom(other)) == rankOf(from);
    }
    Square absoluteFrom = absoluteSquare(st, from);
    if (ambiguous && (!sameFile || sameRank)) san += char('a' + fileOf(absoluteFrom));
    if (ambiguous && sameFile) san += char('1' + rankOf(absoluteFrom));
  }
  if (capture) san += 'x';
  san += squareName(absoluteSquare(st, to));
  if (move & MOVE_PROMOTION) {
    san += '=';
    san += PIECE_LETTERS[movePromotion(move)];
  }
  return san;
}

const char* checkSuffix(const GameBoard& after) {
  if (!isInCheck(after.state())) return "";
  return after.legalCount == 0 ? "#" : "+";
}

std::string pgnDate() {
  std::time_t now = std::time(nullptr);
  std::tm utc;
  gmtime_r(&now, &utc);
  char text[16];
  std::strftime(text, sizeof text, "%Y.%m.%d", &utc);
  return text;
}

std::string formatPgn(const PgnGame& game) {
  std::string out;
  auto tag = [&out](const char* name, const std::string& value) {
    out += std::string("[") + name + " " + quoted(value) + "]\n";
  };
  tag("Event", game.event);
  tag("Site", "?");
  tag("Date", game.date);
  tag("Round", std::to_string(game.round));
  tag("White", game.white);
  tag("Black", game.black);
  tag("Result", resultText(game.result));
  if (!game.startFen.empty()) {
    if (game.chess960) tag("Variant", "Chess960");
    tag("SetUp", "1");
    tag("FEN", game.startFen);
  }
  tag("TimeControl", game.timeControl);
  tag("PlyCount", std::to_string(game.moves.size()));
  tag("Termination", game.termination);
  out += "\n";

  std::string line;
  auto emit = [&out, &line](const std::string& word) {
    if (!line.empty() && line.size() + 1 + word.size() > PGN_LINE_WIDTH) {
      out += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  };
  int number = game.startMoveNumber;
  bool black = game.blackStarts;
  for (size_t i = 0; i < game.moves.size(); ++i) {
    if (!black) emit(std::to_string(number) + ". " + game.moves[i]);
    else if (i == 0) emit(std::to_string(number) + "... " + game.moves[i]);
    else emit(game.moves[i]);
    if (black) ++number;
    black = !black;
  }
  if (!game.termination.empty()) emit("{" + game.termination + "}");
  emit(resultText(game.result));
  out += line + "\n\n";
  return out;
}
