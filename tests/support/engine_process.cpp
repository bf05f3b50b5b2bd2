#include "support/engine_process.h"

#include <algorithm>
#include <sys/wait.h>

#include "base/platform.h"

namespace {

// What a finished test program gets to stop by itself before it is killed.
constexpr int EXIT_GRACE_MS = 2000;

}  // namespace

EngineProcess::EngineProcess(const std::vector<std::string>& argv) {
  // A program that cannot be started reads as one that printed nothing.
  std::string error;
  startChild(child_, argv, GROUP_SHARED, error);
}

EngineProcess::~EngineProcess() { stopChild(child_, EXIT_GRACE_MS); }

void EngineProcess::send(const std::string& line) { writeLine(child_, line); }

void EngineProcess::sendRaw(const std::string& bytes) { writeBytes(child_, bytes); }

void EngineProcess::closeInput() { ::closeInput(child_); }

bool EngineProcess::readLine(std::string& line, int timeoutMs) {
  if (::readLine(child_, line, nowMs() + timeoutMs) != READ_LINE) return false;
  lines_.push_back(line);
  return true;
}

bool EngineProcess::waitFor(const std::string& prefix, std::string& line, int timeoutMs) {
  const int64_t deadline = nowMs() + timeoutMs;
  for (;;) {
    const int64_t left = deadline - nowMs();
    if (left <= 0 || !readLine(line, int(left))) return false;
    if (line.compare(0, prefix.size(), prefix) == 0) return true;
  }
}

bool EngineProcess::waitFor(const std::string& prefix, int timeoutMs) {
  std::string line;
  return waitFor(prefix, line, timeoutMs);
}

int EngineProcess::waitExit(int timeoutMs) {
  if (exited_) return status_;
  if (child_.pid <= 0 || !waitForExit(child_, nowMs() + timeoutMs)) return -1;
  const int status = reapChild(child_);
  exited_ = true;
  status_ = status < 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return status_;
}

std::string runWithInput(const std::vector<std::string>& argv, const std::string& input, int* exitStatus,
                         int timeoutMs) {
  EngineProcess process(argv);
  process.sendRaw(input);
  process.closeInput();
  std::string all, line;
  const int64_t deadline = nowMs() + timeoutMs;
  while (process.readLine(line, int(std::max<int64_t>(1, deadline - nowMs())))) all += line + "\n";
  int status = process.waitExit(int(std::max<int64_t>(1, deadline - nowMs())));
  if (exitStatus) *exitStatus = status;
  return all;
}
