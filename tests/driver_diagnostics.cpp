// The commands for people and scripts on the command loop ("d", "eval",
// "go perft"), driven through pipes like the protocol.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/engine_process.h"
#include "support/paths.h"

namespace {

// A small hash table: "position" allocates the search memory.
std::string run(const std::string& input) {
  return runWithInput({buildPath("corvan")}, "setoption name Hash value 1\n" + input);
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
  std::vector<std::string> found;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line.substr(prefix.size()));
  return found;
}

// The same position with the colours exchanged and the board turned over.
std::string flipColours(const std::string& fen) {
  std::istringstream in(fen);
  std::string placement, side, castling, ep, rest;
  in >> placement >> side >> castling >> ep;
  std::getline(in, rest);
  std::vector<std::string> ranks;
  std::istringstream rankText(placement);
  for (std::string rank; std::getline(rankText, rank, '/');) ranks.insert(ranks.begin(), rank);
  std::string flipped;
  for (const std::string& rank : ranks) flipped += (flipped.empty() ? "" : "/") + rank;
  auto swapCase = [](std::string s) {
    for (char& c : s) c = char(std::isupper(c) ? std::tolower(c) : std::toupper(c));
    return s;
  };
  std::string rights = swapCase(castling), upper, lower;
  for (char c : rights) (std::isupper(c) ? upper : lower) += c;
  if (ep != "-") ep[1] = ep[1] == '3' ? '6' : '3';
  return swapCase(flipped) + (side == "w" ? " b " : " w ") + (rights == "-" ? "-" : upper + lower) + " " + ep + rest;
}

// The piece values of an "eval" table by square name, and its final score.
struct EvalTable {
  std::map<std::string, int> values;
  std::map<std::string, char> pieces;
  int score = 0;
};

EvalTable parseEval(const std::string& out) {
  EvalTable table;
  std::vector<std::string> rows = linesStartingWith(out, " |");
  EXPECT_EQ(rows.size(), 16u);
  for (size_t row = 0; row + 1 < rows.size(); row += 2) {
    char rank = char('8' - row / 2);
    for (int file = 0; file < 8; ++file) {
      std::string square = {char('a' + file), rank};
      std::string pieceCell = rows[row].substr(size_t(8 * file), 7);
      std::string valueCell = rows[row + 1].substr(size_t(8 * file), 7);
      char piece = pieceCell[3];
      if (piece != ' ') table.pieces[square] = piece;
      if (valueCell.find_first_not_of(' ') != std::string::npos) table.values[square] = std::stoi(valueCell);
    }
  }
  std::vector<std::string> score = linesStartingWith(out, "Evaluation: ");
  EXPECT_EQ(score.size(), 1u);
  if (!score.empty()) table.score = std::stoi(score[0]);
  return table;
}

std::string mirrorSquare(const std::string& square) { return {square[0], char('1' + '8' - square[1])}; }

}  // namespace

TEST(Diagnostics, BoardShowsFenThatReadsBackAndTheCheckingPieces) {
  const struct {
    const char* position;
    const char* fen;  // as "d" writes it
    const char* checkers;
  } cases[] = {
      {"startpos", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", ""},
      {"startpos moves e2e4 e7e5", "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2", ""},
      {"fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
       "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", ""},
      // An en-passant capture is possible; black to move.
      {"fen rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
       "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", ""},
      // Rights with an inner rook need the file letter; outermost rooks take KQkq.
      {"fen 1r2k1rr/8/8/8/8/8/8/1R2K1RR w Gg - 0 1", "1r2k1rr/8/8/8/8/8/8/1R2K1RR w Gg - 0 1", ""},
      {"fen bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9",
       "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w KQkq - 2 1", ""},
      {"fen 4k3/8/8/8/8/5n2/8/r3K3 w - - 12 1", "4k3/8/8/8/8/5n2/8/r3K3 w - - 12 1", " a1 f3"},
      {"fen 4k3/8/8/1B6/8/8/8/4K3 b - - 0 1", "4k3/8/8/1B6/8/8/8/4K3 b - - 0 1", " b5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    std::string out = run("position " + std::string(c.position) + "\nd\nquit\n");
    EXPECT_EQ(linesStartingWith(out, "Fen: "), std::vector<std::string>{c.fen});
    EXPECT_EQ(linesStartingWith(out, "Checkers:"), std::vector<std::string>{c.checkers});
    // The text reads back into the same board and key. (The move number
    // counts from 1 at the board of the position command.)
    std::string again = run("position fen " + std::string(c.fen) + "\nd\nquit\n");
    std::string fen = c.fen;
    EXPECT_EQ(linesStartingWith(again, "Fen: "), std::vector<std::string>{fen.substr(0, fen.rfind(' ')) + " 1"});
    EXPECT_EQ(linesStartingWith(again, "Key: "), linesStartingWith(out, "Key: "));
    ASSERT_EQ(linesStartingWith(out, "Key: ").size(), 1u);
    EXPECT_EQ(linesStartingWith(out, "Key: ")[0].find_first_not_of("0123456789ABCDEF"), std::string::npos);
  }
  // Transposed move orders reach the same key.
  std::string out = run("position startpos moves g1f3 g8f6 b1c3\nd\nposition startpos moves b1c3 g8f6 g1f3\nd\nquit\n");
  std::vector<std::string> keys = linesStartingWith(out, "Key: ");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], keys[1]);
}

// A position and its colour-flipped twin are the same to the network, so
// their scores and every piece value from White's view are exact opposites:
// whatever the network, that pins the view and the removal of each piece.
// Removing some of these pieces leaves odd boards (a checker gone, a king
// left in check, a castling rook gone), which must still evaluate.
TEST(Diagnostics, EvalTableIsFromWhitesViewForEveryPieceButTheKings) {
  const char* fens[] = {
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "4k3/4r3/8/8/8/8/4B3/4K3 b - - 0 1",
      "4k3/8/8/8/8/5n2/8/r3K3 w - - 12 1",
      "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9",
  };
  for (const char* fen : fens) {
    SCOPED_TRACE(fen);
    EvalTable table = parseEval(run("position fen " + std::string(fen) + "\neval\nquit\n"));
    EvalTable flipped = parseEval(run("position fen " + flipColours(fen) + "\neval\nquit\n"));
    EXPECT_EQ(table.score, -flipped.score);
    for (const auto& [square, piece] : table.pieces) {
      SCOPED_TRACE(square);
      bool king = piece == 'K' || piece == 'k';
      ASSERT_EQ(table.values.count(square), king ? 0u : 1u);
      if (!king) {
        EXPECT_EQ(table.values[square], -flipped.values[mirrorSquare(square)]);
      }
    }
    EXPECT_EQ(table.values.size() + 2, table.pieces.size());
  }
  // A queen is worth something to its side.
  EvalTable start = parseEval(run("eval\nquit\n"));
  EXPECT_GT(start.values["d1"], 0);
  EXPECT_LT(start.values["d8"], 0);
}

// "go perft" prints exactly what the perft tool prints, Chess960 castling
// included; bad depths get a usage line and nothing else.
TEST(Diagnostics, GoPerftMatchesThePerftTool) {
  const struct {
    const char* fen;
    int depth;
    bool chess960;
  } cases[] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 4, false},
      {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 3, false},
      {"bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9", 3, true},
      {"8/8/8/8/8/8/8/k1K5 b - - 0 1", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fen);
    std::vector<std::string> tool = {buildPath("corvan-perft"), std::to_string(c.depth), c.fen};
    std::string options = c.chess960 ? "setoption name UCI_Chess960 value true\n" : "";
    std::string out = run(options + "position fen " + c.fen + "\ngo perft " + std::to_string(c.depth) + "\nquit\n");
    EXPECT_EQ(out, runWithInput(tool, ""));
  }
  std::string start = run("go perft 5\nquit\n");
  EXPECT_EQ(linesStartingWith(start, "Nodes searched: "), std::vector<std::string>{"4865609"});

  // A count of hours leaves the loop reading: "isready" is answered during
  // it, "stop" ends it with the finished root moves and no total, and the
  // engine counts again afterwards. A count that "quit" follows completes.
  EngineProcess engine({buildPath("corvan")});
  engine.send("go perft 10");
  engine.send("isready");
  EXPECT_TRUE(engine.waitFor("readyok"));
  engine.send("stop");
  std::string stopped;
  EXPECT_TRUE(engine.waitFor("info string perft stopped after ", stopped));
  EXPECT_TRUE(stopped.find(" of 20 root moves") != std::string::npos) << stopped;
  engine.send("go perft 2");
  std::string total;
  EXPECT_TRUE(engine.waitFor("Nodes searched: ", total));
  EXPECT_EQ(total, "Nodes searched: 400");
  engine.send("go perft 4");
  engine.send("quit");
  EXPECT_TRUE(engine.waitFor("Nodes searched: ", total));
  EXPECT_EQ(total, "Nodes searched: 197281");
  EXPECT_EQ(engine.waitExit(), 0);

  const std::string usage = "info string usage: go perft DEPTH (0..256)\n";
  EXPECT_EQ(run("go perft\ngo perft -1\ngo perft 257\ngo perft 2 x\ngo perftx\nisready\nquit\n"),
            usage + usage + usage + usage + usage + "readyok\n");
}
