// The program's command line: the informational options, the forced network
// kernels for tests, and the commands that run without the UCI loop.
#pragma once

// Runs the engine as the arguments ask (no argument: the UCI loop; "pgo" or
// "bench ...": the benchmark; --help, --version) and returns the exit
// status. An argument it does not know is explained on standard error, with
// status 2.
int commandLineMain(int argc, char** argv);
