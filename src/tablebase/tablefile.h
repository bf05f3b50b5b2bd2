// Reading one value out of a registered table for a board: the table's
// set-up on first use (its layout walked and every section checked against
// the file's length) and the turn of the board into the table's orientation
// and piece order. The probes of probe.h are the only callers in the engine.
//
// A file whose magic number is wrong prints "Corrupted table." on standard
// error, and so does a file whose sections do not fit its length or describe
// no possible layout; that kind of that table then counts as absent. Both
// are reported once per registration.
#pragma once

#include "board/types.h"
#include "tablebase/registry.h"

// Sets up one kind of a table from its image; true when every section was
// found inside it. Called under the table lock; public for tests.
bool initTable(TableEntry& entry, TableKind kind);

// The stored value for the board st: WDL -2..2 (side to move's view) or the
// DTZ distance (non-negative; wdl, the board's WDL value, picks the DTZ value
// map). On failure returns 0 and sets *status to 0 (no usable table) or -1
// (the DTZ file holds the other side to move); leaves *status alone
// otherwise.
int probeTable(const PositionState& st, int wdl, int* status, TableKind kind);
