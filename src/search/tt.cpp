#include "search/tt.h"

TTEntry* transpositionTable = nullptr;
uint64_t ttMask = 0;
uint32_t ttGeneration = 0;
