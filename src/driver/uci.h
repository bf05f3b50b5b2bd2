// Start-up and the UCI command loop.
#pragma once

#include <cstdint>
#include <string>

#include "base/platform.h"
#include "board/types.h"

// Serialises command handlers against the think thread: "go" takes it and
// the think thread releases it after printing its move.
extern CommandLock commandLock;
// Held for every complete multi-part output line.
extern SpinLock outputLock;
// The game as the last "position" command set it up (the start position
// after "ucinewgame"); the board that "go" searches.
extern Position gamePosition;

// Takes commandLock for a command that needs the board or the options,
// stopping first a search that only "stop" would end.
void acquireCommandLock();

// The start-up steps before any command: option defaults, locks, board and
// search tables, the network check (which ends the process on a bad image).
void initEngine();

// Handles one command line (without its newline) as the command loop does;
// false for "quit", which the caller then carries out. "go" returns while the
// think thread searches, holding commandLock on its behalf.
bool handleCommand(const std::string& line);

int engineMain(int argc, char** argv);
