// A program run as a child process for the tools and the tests: pipes for
// its standard input and output, line reads with deadlines on the monotonic
// clock (nowMs), and a stop that waits a grace period, then kills and reaps.
// Every live child is listed, so that an interrupt can kill them all at once.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

enum ReadStatus { READ_LINE, READ_TIMEOUT, READ_CLOSED };

// Whether the child shares the caller's process group, or leads a group of
// its own that dies with it: such a child is also killed when the thread
// that started it ends, and a stop kills every process left in the group
// (a wrapper script's own children must not survive).
enum ChildGroup { GROUP_SHARED, GROUP_OWN };

// Owns one child process; pid is -1 when none runs. Not copyable.
struct ChildProcess {
  pid_t pid = -1;
  int toChild = -1;
  int fromChild = -1;
  bool ownGroup = false;
  std::string pending;  // bytes read but not yet returned as a line

  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();
};

// Stops whatever child ran before, then runs argv (argv[0] is the program's
// path, not looked up in PATH). False, with the reason in error, when no
// child could be started; a program that cannot be executed exits with 127.
bool startChild(ChildProcess& child, const std::vector<std::string>& argv, ChildGroup group,
                std::string& error);
// Writes one line (the newline is added); false once the pipe is broken.
bool writeLine(ChildProcess& child, const std::string& line);
// Writes the bytes as they are; false once the pipe is broken.
bool writeBytes(ChildProcess& child, const std::string& bytes);
// Closes the child's standard input: it reads end of file.
void closeInput(ChildProcess& child);
// Reads the next line without its newline (a carriage return stays),
// waiting until deadlineMs. Over-long lines are cut, never left to grow; a
// last line without its newline still counts.
ReadStatus readLine(ChildProcess& child, std::string& line, int64_t deadlineMs);
// Waits until deadlineMs for the child to exit by itself; true when it has
// (or none runs). The child is not reaped.
bool waitForExit(const ChildProcess& child, int64_t deadlineMs);
// Collects the exit of a child that waitForExit saw end: returns its wait
// status (-1 when none ran). The pipes stay open for what is left to read.
int reapChild(ChildProcess& child);
// Closes the child's input, waits up to graceMs for it to exit, kills what
// is left (a child of its own group: the whole group), reaps it and closes
// the pipes. Returns the wait status, or -1 when it had to be killed or none
// ran.
int stopChild(ChildProcess& child, int64_t graceMs);

// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread and every thread
// started after it, and starts a thread that waits for them: it calls
// onInterrupt once and then kills every live child (their groups too) and
// refuses to start new ones; a second signal ends the program at once.
void installInterruptHandler(void (*onInterrupt)());
// Standard error of every child started from now on: the open descriptor
// fd (a log file), or the caller's own when fd is -1 (the default).
void setChildErrorOutput(int fd);
