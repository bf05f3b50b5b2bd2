// Commands for people and scripts on the command loop, beside the protocol
// (a GUI never sends them, and the loop ignores unknown words anyway):
//   d                               the board, its FEN, hash key and checkers
//   eval                            the network's score, a table of piece values and the
//                                   network in use
//   go perft N                      move-path counts in corvan-perft's format
//   bench [HASH] [THREADS] [DEPTH]  the benchmark with those parameters
// Each waits for a running search like the other commands that need the
// board (a search that only "stop" would end is stopped first). "go perft"
// then counts on a thread of its own, like a bounded search: the loop goes
// on reading, later commands and "quit" wait for the count, and "stop"
// (through stopPerft) ends it.
#pragma once

#include <cstdint>
#include <string>

// Whether line is one of the commands above (exact words; arguments are
// checked when it runs).
bool isDiagnosticCommand(const std::string& line);

// Runs it. gameMoves is the loop's count of full moves played since the last
// position set-up, for the FEN's move number.
void runDiagnosticCommand(const std::string& line, int32_t gameMoves);

// Ends a running "go perft" count early ("stop"); nothing when none runs.
void stopPerft();
