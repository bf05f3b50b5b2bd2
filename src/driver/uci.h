// Start-up and the UCI command loop.
#pragma once

#include <cstdint>
#include <string>

#include "driver/session.h"

// The start-up steps before any command: option defaults, locks, board and
// search tables, the network check (which ends the process on a bad image).
void initEngine();

// Handles one command line (without its newline) as the command loop does;
// false for "quit", which the caller then carries out. "go" returns while the
// think thread searches, holding commandLock on its behalf.
bool handleCommand(const std::string& line);

int engineMain(int argc, char** argv);
