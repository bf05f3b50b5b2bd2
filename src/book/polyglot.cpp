#include "book/polyglot.h"

// Placeholder until the book reader lands: no book move, the engine searches.
uint64_t polyglotKey(const PositionState&) { return 0; }
Move probeBook(const PositionState&, const char*, bool) { return MOVE_NONE; }
Move legalBookMove(const PositionState&, const char*, bool) { return MOVE_NONE; }
