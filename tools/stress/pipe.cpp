#include "pipe.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/platform.h"

namespace {

// Longest line kept; longer output is split rather than buffered unbounded.
constexpr size_t MAX_LINE_BYTES = 1 << 16;
constexpr int REAP_POLL_US = 2000;

void closeFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

EnginePipe::~EnginePipe() { finishEngine(*this, 0); }

bool startEngine(EnginePipe& engine, const std::string& path) {
  // A write to an engine that died must fail, not end the tool.
  signal(SIGPIPE, SIG_IGN);
  int input[2], output[2];
  if (pipe2(input, O_CLOEXEC) != 0) return false;
  if (pipe2(output, O_CLOEXEC) != 0) {
    close(input[0]);
    close(input[1]);
    return false;
  }
  pid_t pid = fork();
  if (pid == 0) {
    if (dup2(input[0], 0) < 0 || dup2(output[1], 1) < 0) _exit(127);
    execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(input[0]);
  close(output[1]);
  if (pid < 0) {
    close(input[1]);
    close(output[0]);
    return false;
  }
  engine.pid = pid;
  engine.toEngine = input[1];
  engine.fromEngine = output[0];
  engine.pending.clear();
  return true;
}

bool sendLine(EnginePipe& engine, const std::string& line) {
  if (engine.toEngine < 0) return false;
  const std::string text = line + "\n";
  for (size_t done = 0; done < text.size();) {
    ssize_t n = write(engine.toEngine, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

LineStatus receiveLine(EnginePipe& engine, std::string& line, int64_t deadlineMs) {
  for (;;) {
    size_t end = engine.pending.find('\n');
    if (end != std::string::npos || engine.pending.size() >= MAX_LINE_BYTES) {
      if (end == std::string::npos) end = MAX_LINE_BYTES;
      line.assign(engine.pending, 0, end);
      engine.pending.erase(0, end < engine.pending.size() ? end + 1 : end);
      return LINE_READ;
    }
    if (engine.fromEngine < 0) return LINE_CLOSED;
    int64_t waitMs = deadlineMs - nowMs();
    if (waitMs < 0) return LINE_TIMEOUT;
    pollfd fd{engine.fromEngine, POLLIN, 0};
    int ready = poll(&fd, 1, int(waitMs > 1000000 ? 1000000 : waitMs));
    if (ready < 0 && errno != EINTR) return LINE_CLOSED;
    if (ready <= 0) continue;
    char buffer[4096];
    ssize_t n = read(engine.fromEngine, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      closeFd(engine.fromEngine);
      // A last line without its newline still counts.
      if (!engine.pending.empty()) engine.pending.push_back('\n');
      continue;
    }
    engine.pending.append(buffer, size_t(n));
  }
}

int finishEngine(EnginePipe& engine, int64_t graceMs) {
  closeFd(engine.toEngine);
  int status = -1;
  if (engine.pid > 0) {
    const int64_t deadline = nowMs() + graceMs;
    for (;;) {
      pid_t done = waitpid(engine.pid, &status, WNOHANG);
      if (done == engine.pid) break;
      if (done < 0 && errno != EINTR) {
        status = -1;
        break;
      }
      if (nowMs() >= deadline) {
        kill(engine.pid, SIGKILL);
        while (waitpid(engine.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        status = -1;
        break;
      }
      usleep(REAP_POLL_US);
    }
    engine.pid = -1;
  }
  closeFd(engine.fromEngine);
  engine.pending.clear();
  return status;
}
