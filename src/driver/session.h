// What the command loop and the think thread share: the two locks, the game
// that "position" set up, and the request of the search under way.
#pragma once

#include "base/platform.h"
#include "board/types.h"
#include "search/limits.h"

// Serialises command handlers against the think thread: "go" takes it and
// the think thread releases it after printing its move.
extern CommandLock commandLock;
// Held for every complete multi-part output line.
extern SpinLock outputLock;
// The game as the last "position" command set it up (the start position
// after "ucinewgame"); the board that "go" searches.
extern Position gamePosition;

// What "go" hands to the think thread: the position and limits, with the
// signals already armed on the command thread. Written by the command loop
// while it holds commandLock.
struct ThinkRequest {
  const Position* root;
  SearchLimits limits;
  SearchConfig config;
};
extern ThinkRequest thinkRequest;

// Takes commandLock for a command that needs the board or the options,
// stopping first a search that only "stop" would end.
void acquireCommandLock();
