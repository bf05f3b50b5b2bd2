// Drives a built program through pipes: write lines to its standard input,
// read its standard output line by line with a timeout.
#pragma once

#include <string>
#include <vector>

#include "common/childprocess.h"

class EngineProcess {
 public:
  explicit EngineProcess(const std::vector<std::string>& argv);
  ~EngineProcess();
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;

  void send(const std::string& line);  // appends the newline
  void sendRaw(const std::string& bytes);
  void closeInput();
  // Next output line without its newline; false on timeout or end of output.
  bool readLine(std::string& line, int timeoutMs = 5000);
  // Reads lines until one starts with prefix; false on timeout or end.
  bool waitFor(const std::string& prefix, std::string& line, int timeoutMs = 5000);
  bool waitFor(const std::string& prefix, int timeoutMs = 5000);
  // Lines read so far by waitFor/readLine, including the matching one.
  const std::vector<std::string>& transcript() const { return lines_; }
  // Waits for the process to end; returns its exit status, -1 on timeout.
  int waitExit(int timeoutMs = 5000);

 private:
  ChildProcess child_;
  std::vector<std::string> lines_;
  int status_ = -1;
  bool exited_ = false;
};

// Runs argv with input on standard input and returns everything it printed.
std::string runWithInput(const std::vector<std::string>& argv, const std::string& input,
                         int* exitStatus = nullptr, int timeoutMs = 20000);
