// Start-up and the UCI command loop.
#pragma once

#include <cstdint>

#include "driver/platform.h"

// Serialises command handlers against the think thread: "go" takes it and
// the think thread releases it after printing its move.
extern CommandLock commandLock;
// Held for every complete multi-part output line.
extern SpinLock outputLock;

int engineMain(int argc, char** argv);
