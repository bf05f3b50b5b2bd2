// The think thread: book, then the search call, the answer ("bestmove" with
// an optional ponder move) and the "info" lines that report on the way.
#pragma once

#include "board/types.h"
#include "driver/session.h"
#include "search/limits.h"
#include "search/rootsearch.h"

// Prints one "info" line of a report.
void printReport(const SearchReport& report);
// The listener that prints every report as an "info" line.
extern const SearchListener infoPrinter;

// The end of a think: the final "info" line (for a single principal
// variation; its depth is the next unfinished one, within the limit) and
// "bestmove", "bestmove 0000" when there was no move.
void printSearchEnd(const Position& root, const SearchResult& result, const SearchLimits& limits);

// Runs one complete think of thinkRequest on the calling thread: book move or
// search, prints the answer and releases commandLock, which the caller must
// hold.
void thinkThread();
// Thread routine for "go": thinkThread on a thread of its own.
void* thinkThreadRoutine(void*);
