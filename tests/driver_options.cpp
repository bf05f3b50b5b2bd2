// Option values and the parameters of "go".
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/limits.h"
#include "driver/options.h"

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { setDefaultOptions(); }
};

TEST_F(OptionsTest, CheckValuesAreTrueOnlyForExactLowerCaseTrue) {
  setOption("Ponder", "true");
  EXPECT_TRUE(engineOptions.ponder);
  setOption("Ponder", "True");
  EXPECT_FALSE(engineOptions.ponder);
  setOption("UCI_Chess960", "TRUE");
  EXPECT_FALSE(engineOptions.chess960);
  setOption("Syzygy50MoveRule", "false");
  EXPECT_FALSE(engineOptions.syzygy50MoveRule);
}

// A value without a leading integer is refused and the old one kept: read
// as 0, "Strength true" would pause the engine after every iteration.
TEST_F(OptionsTest, SpinValuesTakeTheLeadingIntegerUnclampedOrAreRefused) {
  setOption("Hash", "64MB");
  EXPECT_EQ(engineOptions.hashMb, 64);
  setOption("Threads", "abc");
  EXPECT_EQ(engineOptions.threads, 1);
  setOption("Strength", "true");
  EXPECT_EQ(engineOptions.strength, 100);
  setOption("UCI_Elo", "");
  EXPECT_EQ(engineOptions.elo, 3190);
  setOption("UCI_Elo", "99999999999");
  EXPECT_EQ(engineOptions.elo, INT32_MAX);
  EXPECT_EQ(searchConfig(engineOptions).eloLimit, 0);
  setOption("UCI_LimitStrength", "true");
  EXPECT_EQ(searchConfig(engineOptions).eloLimit, 3190);
  setOption("UCI_Elo", "-5");
  EXPECT_EQ(searchConfig(engineOptions).eloLimit, 1320);
  setOption("MultiPV", "9999");
  EXPECT_EQ(engineOptions.multiPv, 9999);
  setOption("DrawScore", "-250");
  EXPECT_EQ(engineOptions.drawScore, -250);
}

TEST_F(OptionsTest, NamesAreCaseSensitive) {
  setOption("hash", "1");
  EXPECT_EQ(engineOptions.hashMb, 256);
}

TEST_F(OptionsTest, BookFileTooLongForItsFieldIsRefused) {
  std::string longName(BOOK_FILE_SIZE, 'a');
  setOption("BookFile", longName.c_str());
  EXPECT_STREQ(engineOptions.bookFile, "corvanbook.bin");
  std::string fits(BOOK_FILE_SIZE - 1, 'a');
  setOption("BookFile", fits.c_str());
  EXPECT_EQ(std::string(engineOptions.bookFile), fits);
}

static SearchLimits limits;

static void parse(const std::string& line, bool black, SearchMoveWords& words, std::string& storage) {
  storage = line;
  parseGoParameters(storage.data(), black, limits, words);
}

TEST(GoParameters, ClockValuesBelongToTheSideToMove) {
  SearchMoveWords words;
  std::string s;
  parse("wtime 1000 btime 2000 winc 10 binc 20 movestogo 30", false, words, s);
  EXPECT_EQ(limits.timeMs, 1000);
  EXPECT_EQ(limits.incMs, 10);
  EXPECT_EQ(limits.movesToGo, 30);
  parse("wtime 1000 btime 2000 winc 10 binc 20", true, words, s);
  EXPECT_EQ(limits.timeMs, 2000);
  EXPECT_EQ(limits.incMs, 20);
  EXPECT_EQ(limits.movesToGo, 0);
}

TEST(GoParameters, DefaultsWithoutParameters) {
  SearchMoveWords words;
  std::string s;
  parse("", false, words, s);
  EXPECT_EQ(limits.timeMs, 1000000000000LL);
  EXPECT_EQ(limits.nodes, INT64_MAX);
  EXPECT_EQ(limits.depth, 127);
  EXPECT_FALSE(limits.ponder || limits.infinite);
  EXPECT_FALSE(words.filterOn);
}

TEST(GoParameters, LimitsAndModes) {
  SearchMoveWords words;
  std::string s;
  parse("depth 500", false, words, s);
  EXPECT_EQ(limits.depth, 127);
  parse("depth -3", false, words, s);
  EXPECT_EQ(limits.depth, 1);
  parse("movetime 1500", false, words, s);
  EXPECT_EQ(limits.timeMs, 1500);
  EXPECT_EQ(limits.incMs, 1500);
  EXPECT_EQ(limits.movesToGo, 1);
  parse("nodes 123456789012", false, words, s);
  EXPECT_EQ(limits.nodes, 123456789012LL);
  parse("ponder wtime 100", false, words, s);
  EXPECT_TRUE(limits.ponder);
  parse("infinite", false, words, s);
  EXPECT_TRUE(limits.infinite);
  parse("movestogo -4 wtime 100", false, words, s);
  EXPECT_EQ(limits.movesToGo, 0);
  parse("mate 3", false, words, s);
  EXPECT_EQ(limits.mate, 3);
  EXPECT_EQ(limits.depth, 127);
  parse("mate 0", false, words, s);
  EXPECT_EQ(limits.mate, 1);
}

TEST(GoParameters, KeywordWithoutValueAtLineEndIsIgnored) {
  SearchMoveWords words;
  std::string s;
  parse("depth", false, words, s);
  EXPECT_EQ(limits.depth, 127);
  parse("wtime", false, words, s);
  EXPECT_EQ(limits.timeMs, 1000000000000LL);
}

TEST(GoParameters, MoveWordsAreCollectedAnywhereUpTo256) {
  SearchMoveWords words;
  std::string s;
  parse("e2e4 depth 3 searchmoves d2d4 e7e8q zz11 a1", false, words, s);
  EXPECT_TRUE(words.filterOn);
  ASSERT_EQ(words.count, 3);
  EXPECT_STREQ(words.words[0], "e2e4");
  EXPECT_STREQ(words.words[2], "e7e8q");
  EXPECT_EQ(limits.depth, 3);
  std::string many = "searchmoves";
  for (int i = 0; i < 300; ++i) many += " a2a3";
  parse(many, false, words, s);
  EXPECT_EQ(words.count, MAX_SEARCH_MOVE_WORDS);
}
