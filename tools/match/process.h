// An engine as a child process: its own process group, pipes for standard
// input and output, line reads with deadlines, and a kill that takes the
// whole group down and reaps it. The registry lets an interrupt kill every
// live engine of the runner at once.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

enum ReadStatus { READ_LINE, READ_TIMEOUT, READ_CLOSED };

// Owns one child process. The child runs "/bin/sh -c 'exec <command>'", so a
// command line may carry arguments and quoting. Not copyable.
struct ChildProcess {
  pid_t pid = -1;
  int toChild = -1;
  int fromChild = -1;
  std::string pending;  // bytes read but not yet returned as a line

  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();
};

bool startProcess(ChildProcess& child, const std::string& command, std::string& error);
bool isRunning(const ChildProcess& child);
// Writes one line (the newline is added); false once the pipe is broken.
bool writeLine(ChildProcess& child, const std::string& line);
// Reads the next line without its line ending, waiting until deadlineMs on
// the monotonic clock. Over-long lines are cut, never left to grow.
ReadStatus readLine(ChildProcess& child, std::string& line, int64_t deadlineMs);
// Waits up to graceMs for the child to exit by itself, then kills its group;
// always reaps it and closes the pipes.
void stopProcess(ChildProcess& child, int64_t graceMs);

// Blocks SIGINT and SIGTERM in the calling thread and every thread started
// after it, and starts a thread that waits for them: it calls onInterrupt
// once and then kills every live engine group.
void installInterruptHandler(void (*onInterrupt)());
// Kills the process groups of all live children (used on interrupt).
void killAllChildren();

// Standard error of every child started from now on: the open descriptor
// fd (a log file), or the runner's own when fd is -1 (the default).
void setChildErrorOutput(int fd);
