// The engine under test as a child process: lines to its standard input,
// lines from its standard output with deadlines, and its exit status. Its
// standard error stays the tool's, so that sanitizer reports are seen.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

enum LineStatus { LINE_READ, LINE_TIMEOUT, LINE_CLOSED };

struct EnginePipe {
  pid_t pid = -1;
  int toEngine = -1;
  int fromEngine = -1;
  std::string pending;  // bytes read but not yet returned as a line

  EnginePipe() = default;
  EnginePipe(const EnginePipe&) = delete;
  EnginePipe& operator=(const EnginePipe&) = delete;
  ~EnginePipe();
};

// Starts path with no arguments; false when it cannot be started.
bool startEngine(EnginePipe& engine, const std::string& path);
// Writes one line and its newline; false once the engine's input is closed.
bool sendLine(EnginePipe& engine, const std::string& line);
// The next output line without its newline, waiting until deadlineMs of the
// monotonic clock.
LineStatus receiveLine(EnginePipe& engine, std::string& line, int64_t deadlineMs);
// Closes the engine's input and waits up to graceMs for it to end; kills it
// after that. Returns the wait status, or -1 when it had to be killed.
int finishEngine(EnginePipe& engine, int64_t graceMs);
