// Training data: the packed record against the engine's own board, data
// files that are torn, foreign or malformed, and the self-play generator's
// reproducibility and interruption.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "support/board_helpers.h"
#include "support/paths.h"
#include "trainingdata/datafile.h"
#include "trainingdata/record.h"
#include "trainingdata/wdlfit.h"

namespace {

std::string temporaryPath(const std::string& name) {
  return std::string(::testing::TempDir()) + "corvan_" + std::to_string(::getpid()) + "_" + name;
}

uint64_t fileSize(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? uint64_t(info.st_size) : 0;
}

// Every position of random games from positions with castling rights, en
// passant chances and black to move survives record -> bytes -> record ->
// FEN -> board with the same key, and the labels keep their extremes.
TEST(TrainingRecord, RoundTripKeepsTheBoardAndItsLabels) {
  const char* starts[] = {
      START_FEN,
      "r3k2r/pppq1ppp/2n2n2/3pp3/3PP3/2N2N2/PPPQ1PPP/R3K2R b KQkq - 4 9",
      "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
      "8/2k5/8/3pP3/8/8/5K2/8 w - d6 0 40",
  };
  std::mt19937 rng(3);
  const int16_t scores[] = {0, -32000, 32000, 123, -1};
  int checked = 0;
  for (const char* fen : starts) {
    Board board(fen);
    for (int ply = 0; ply < 60; ++ply) {
      const PositionState& st = board.st();
      TrainingPosition p = positionFromState(st, 1 + ply / 2);
      p.score = scores[ply % 5];
      p.result = int8_t(ply % 3 - 1);
      uint8_t bytes[RECORD_BYTES];
      packRecord(p, bytes);
      TrainingPosition back;
      ASSERT_TRUE(unpackRecord(bytes, back));
      EXPECT_EQ(back.score, p.score);
      EXPECT_EQ(back.result, p.result);
      const std::string text = positionFen(back);
      Board again(text.c_str());
      EXPECT_EQ(again.st().key, st.key) << text;
      ++checked;
      std::vector<Move> moves = legalMoves(st);
      if (moves.empty()) break;
      playGameMove(*board.pos, moves[rng() % moves.size()]);
    }
  }
  EXPECT_GT(checked, 150);
}

TEST(TrainingFiles, TornForeignAndMalformedDataIsReadSafely) {
  const std::string path = temporaryPath("torn.bin");
  std::remove(path.c_str());
  Board board;
  TrainingPosition p = positionFromState(board.st(), 1);
  uint8_t good[RECORD_BYTES];
  packRecord(p, good);
  uint8_t bad[RECORD_BYTES];
  std::memcpy(bad, good, RECORD_BYTES);
  bad[8] = 0x7F;  // a piece code that names no piece
  {
    DataWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(path, error)) << error;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(writer.append(good, 1));
    ASSERT_TRUE(writer.append(bad, 1));
  }
  const uint64_t whole = fileSize(path);
  ASSERT_EQ(whole, uint64_t(DATA_HEADER_BYTES + 4 * RECORD_BYTES));

  // Cut at every size: whole records are read, the torn rest is reported.
  std::ifstream original(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(original)), {});
  for (uint64_t size = 0; size <= whole; ++size) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes.substr(0, size);
    std::vector<uint8_t> out;
    const DataReadReport r = readDataFile(path, out);
    if (size < uint64_t(DATA_HEADER_BYTES)) {
      EXPECT_FALSE(r.error.empty());
      continue;
    }
    const uint64_t records = (size - DATA_HEADER_BYTES) / RECORD_BYTES;
    EXPECT_EQ(r.records, std::min<uint64_t>(records, 3));
    EXPECT_EQ(r.malformed, records == 4 ? 1u : 0u);
    EXPECT_EQ(r.tailBytes, (size - DATA_HEADER_BYTES) % RECORD_BYTES);
    EXPECT_EQ(out.size(), r.records * RECORD_BYTES);
  }

  // A writer continues a torn file after cutting its torn record.
  ASSERT_EQ(::truncate(path.c_str(), off_t(DATA_HEADER_BYTES + RECORD_BYTES + 7)), 0);
  {
    DataWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(path, error)) << error;
    EXPECT_EQ(writer.recordCount(), 1u);
    ASSERT_TRUE(writer.append(good, 1));
  }
  EXPECT_EQ(fileSize(path), uint64_t(DATA_HEADER_BYTES + 2 * RECORD_BYTES));

  // Foreign files are refused whole, by readers and writers alike.
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq";
  std::vector<uint8_t> out;
  EXPECT_FALSE(readDataFile(path, out).error.empty());
  DataWriter writer;
  std::string error;
  EXPECT_FALSE(writer.open(path, error));
  EXPECT_FALSE(readDataFile(temporaryPath("absent.bin"), out).error.empty());
  EXPECT_TRUE(out.empty());
  std::remove(path.c_str());
}

// The same seed with one worker writes the same bytes; an interrupted run
// leaves a file of whole records.
TEST(Datagen, SeededRunsRepeatAndInterruptedRunsLeaveWholeRecords) {
  const std::string a = temporaryPath("seed_a.bin"), b = temporaryPath("seed_b.bin"), c = temporaryPath("int.bin");
  for (const std::string& path : {a, b, c}) std::remove(path.c_str());
  const std::string tool = buildPath("corvan-datagen");
  for (const std::string& path : {a, b})
    ASSERT_EQ(std::system((tool + " --games 3 --nodes 400 --seed 11 --out " + path + " 2>/dev/null").c_str()), 0);
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  const std::string bytesA((std::istreambuf_iterator<char>(fa)), {}), bytesB((std::istreambuf_iterator<char>(fb)), {});
  EXPECT_GT(bytesA.size(), size_t(DATA_HEADER_BYTES + 10 * RECORD_BYTES));
  EXPECT_EQ(bytesA, bytesB);

  std::system(("timeout -s INT 2 " + tool + " --threads 2 --nodes 300 --out " + c + " 2>/dev/null").c_str());
  std::vector<uint8_t> out;
  const DataReadReport r = readDataFile(c, out);
  EXPECT_TRUE(r.error.empty()) << r.error;
  EXPECT_EQ(r.tailBytes, 0u);
  EXPECT_EQ(r.malformed, 0u);
  EXPECT_GT(r.records, 0u);
  for (const std::string& path : {a, b, c}) std::remove(path.c_str());
}

// The built-in win/draw/loss model on games it was not fitted to: in every
// score band the predicted rates are those seen, and the per-mille chances
// are whole, sum to 1000 and grow with the score (a score of exactly 0, a
// class of its own, aside).
TEST(WdlModel, IsCalibratedOnHeldOutGamesAndConsistent) {
  for (int material = 0; material <= 80; material += 4) {
    int lastWin = -1;
    for (int score = -3000; score <= 3000; score += 10) {
      const WdlChances c = wdlChances(score, material);
      ASSERT_TRUE(c.win >= 0 && c.draw >= 0 && c.loss >= 0 && c.win + c.draw + c.loss == 1000) << material << " " << score;
      if (score == 0) continue;
      ASSERT_GE(c.win, lastWin);
      lastWin = c.win;
    }
  }
  const std::string source = sharedDataPath("selfplay-gen4.bin.xz");
  if (source.empty()) GTEST_SKIP() << "no shared self-play data";
  const std::string path = temporaryPath("wdl.bin");
  const std::string command = "xz -dc '" + source + "' 2>/dev/null | head -c " +
                              std::to_string(DATA_HEADER_BYTES + 400000 * RECORD_BYTES) + " > " + path;
  if (std::system(command.c_str()) != 0 || fileSize(path) < uint64_t(100000 * RECORD_BYTES)) GTEST_SKIP() << "no xz";
  std::vector<uint8_t> records;
  ASSERT_TRUE(readDataFile(path, records).error.empty());
  std::remove(path.c_str());
  WdlTable table;
  for (size_t i = 0; i + RECORD_BYTES <= records.size(); i += RECORD_BYTES) {
    TrainingPosition p;
    ASSERT_TRUE(unpackRecord(&records[i], p));
    table.add(p);
  }
  for (const WdlBand& band : wdlCalibration(table, WDL_MODEL)) {
    ASSERT_GT(band.positions, 10000u);
    for (int o = 0; o < 3; ++o) EXPECT_NEAR(band.predicted[o], band.observed[o], 0.04) << band.low << ".." << band.high;
  }
}

}  // namespace
