// The book writer's input: text lines of positions with moves and weights,
// and games as move lists. The first byte is the ply limit. Whatever the
// lines, each is taken or refused whole, and the finished book is sorted by
// key with weights inside the file format's range; written out and read
// back, it gives only legal moves.
#include <sstream>

#include "board/attacks.h"
#include "board/fen.h"
#include "book/bookwriter.h"
#include "book/polyglot.h"
#include "driver/options.h"
#include "fuzz_support.h"

static MemoryFile* book;
static Position* start;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setDefaultOptions();
  initAttacks();
  book = new MemoryFile;
  start = new Position;
  setPosition(*start, START_FEN, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int maxPly = int(data[0] % 16) - 1;
  std::istringstream lines(inputText(data + 1, size - 1));
  BookDraft draft;
  std::string error;
  for (std::string line; std::getline(lines, line);) {
    const size_t itemsBefore = draft.items.size();
    if (!addBookLine(draft, line, maxPly, error)) FUZZ_CHECK(draft.items.size() == itemsBefore);
  }
  for (bool inputOrder : {false, true}) {
    std::vector<BookEntry> entries = finishBook(draft, inputOrder);
    FUZZ_CHECK(entries.size() == draft.items.size());
    for (size_t i = 1; i < entries.size(); ++i) FUZZ_CHECK(entries[i - 1].key <= entries[i].key);
    for (size_t i = 1; i < entries.size() && !inputOrder; ++i)
      FUZZ_CHECK(entries[i - 1].key < entries[i].key || entries[i - 1].weight >= entries[i].weight);
  }
  // The written book answers the start position with a legal move or none.
  std::vector<BookEntry> entries = finishBook(draft, false);
  std::vector<uint8_t> bytes(entries.size() * BOOK_ENTRY_SIZE);
  for (size_t i = 0; i < entries.size(); ++i) encodeBookEntry(entries[i], bytes.data() + i * BOOK_ENTRY_SIZE);
  book->replace(bytes.data(), bytes.size());
  Move move = probeBook(*start->state, book->path(), false);
  FUZZ_CHECK(move == MOVE_NONE || matchingLegalMove(*start->state, move) != MOVE_NONE);
  return 0;
}
