// FEN set-up with a move list: the first input line is the FEN, the rest
// the moves. Whatever the text, set-up either refuses it (and leaves the
// start position) or leaves a sound game whose moves can all be made, in
// standard chess and in Chess960.
#include <memory>

#include "board/attacks.h"
#include "board/fen.h"
#include "fuzz_support.h"

static Position* position;
static uint64_t startKey;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  initAttacks();
  position = new Position;
  setPosition(*position, START_FEN, nullptr);
  startKey = position->state->key;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = inputText(data, size);
  const size_t newline = text.find('\n');
  const std::string fen = text.substr(0, newline);
  const std::string moves = newline == std::string::npos ? "" : text.substr(newline + 1);
  for (bool chess960 : {false, true}) {
    position->chess960 = chess960;
    SetupResult result = setUpPosition(*position, fen.c_str(), moves.c_str());
    if (result.error != SETUP_OK && result.error != SETUP_ILLEGAL_MOVE) {
      FUZZ_CHECK(position->state == position->stateStack);
      FUZZ_CHECK(position->state->key == startKey);
      FUZZ_CHECK(result.gameMoves == 0);
    }
    if (result.error == SETUP_ILLEGAL_MOVE) {
      FUZZ_CHECK(result.moveNumber >= 1);
      FUZZ_CHECK(result.moveText[sizeof result.moveText - 1] == 0);
    }
    FUZZ_CHECK(result.gameMoves >= 0);
    checkPositionSound(*position);
  }
  return 0;
}
