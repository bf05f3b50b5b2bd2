#include "process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "base/platform.h"

namespace {

// Longest line kept from an engine; longer output is split, never buffered
// without bound.
constexpr size_t MAX_LINE_BYTES = 1 << 16;
constexpr int64_t REAP_POLL_MS = 5;

// Every live child's pid (= its process group). Forks happen under the lock,
// so an interrupt either sees a new child or stops it from being started.
std::mutex registryLock;
std::vector<pid_t> liveChildren;
bool interrupted = false;
int childErrorFd = -1;

void forgetChild(pid_t pid) {
  std::lock_guard<std::mutex> guard(registryLock);
  for (size_t i = 0; i < liveChildren.size(); ++i)
    if (liveChildren[i] == pid) {
      liveChildren[i] = liveChildren.back();
      liveChildren.pop_back();
      return;
    }
}

void closeFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// True when the child has exited; it stays a zombie (its pid and group id
// stay reserved) until reaped.
bool hasExited(pid_t pid) {
  siginfo_t info;
  info.si_pid = 0;
  if (waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return true;
  return info.si_pid == pid;
}

// Runs in the forked child: only async-signal-safe calls until exec.
[[noreturn]] void execChild(int input, int output, int errors, pid_t parent, const char* command) {
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);
  signal(SIGPIPE, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (dup2(input, 0) < 0 || dup2(output, 1) < 0) _exit(127);
  if (errors >= 0 && dup2(errors, 2) < 0) _exit(127);
  execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
  _exit(127);
}

}  // namespace

ChildProcess::~ChildProcess() { stopProcess(*this, 0); }

bool startProcess(ChildProcess& child, const std::string& command, std::string& error) {
  static std::once_flag ignorePipeSignal;
  // A write to an engine that died must fail with EPIPE, not end the runner.
  std::call_once(ignorePipeSignal, [] { signal(SIGPIPE, SIG_IGN); });
  stopProcess(child, 0);
  std::string shellCommand = "exec " + command;
  int input[2];
  int output[2];
  if (pipe2(input, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + strerror(errno);
    return false;
  }
  if (pipe2(output, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + strerror(errno);
    close(input[0]);
    close(input[1]);
    return false;
  }
  pid_t parent = getpid();
  pid_t pid;
  {
    std::lock_guard<std::mutex> guard(registryLock);
    pid = interrupted ? -1 : fork();
    if (pid == 0) execChild(input[0], output[1], childErrorFd, parent, shellCommand.c_str());
    if (pid > 0) {
      setpgid(pid, pid);
      liveChildren.push_back(pid);
    }
  }
  close(input[0]);
  close(output[1]);
  if (pid < 0) {
    error = interrupted ? "interrupted" : std::string("fork: ") + strerror(errno);
    close(input[1]);
    close(output[0]);
    return false;
  }
  child.pid = pid;
  child.toChild = input[1];
  child.fromChild = output[0];
  child.pending.clear();
  return true;
}

bool isRunning(const ChildProcess& child) { return child.pid > 0 && !hasExited(child.pid); }

bool writeLine(ChildProcess& child, const std::string& line) {
  if (child.toChild < 0) return false;
  std::string text = line + "\n";
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(child.toChild, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

ReadStatus readLine(ChildProcess& child, std::string& line, int64_t deadlineMs) {
  for (;;) {
    size_t end = child.pending.find('\n');
    if (end != std::string::npos || child.pending.size() >= MAX_LINE_BYTES) {
      if (end == std::string::npos) end = MAX_LINE_BYTES;
      line.assign(child.pending, 0, end);
      child.pending.erase(0, end < child.pending.size() ? end + 1 : end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return READ_LINE;
    }
    if (child.fromChild < 0) return READ_CLOSED;
    int64_t waitMs = deadlineMs - nowMs();
    if (waitMs < 0) return READ_TIMEOUT;
    pollfd fd{child.fromChild, POLLIN, 0};
    int ready = poll(&fd, 1, int(waitMs > 1000000 ? 1000000 : waitMs));
    if (ready < 0 && errno != EINTR) return READ_CLOSED;
    if (ready <= 0) continue;
    char buffer[4096];
    ssize_t n = read(child.fromChild, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      closeFd(child.fromChild);
      // A last line without its newline still counts.
      if (!child.pending.empty()) child.pending.push_back('\n');
      continue;
    }
    child.pending.append(buffer, size_t(n));
  }
}

void stopProcess(ChildProcess& child, int64_t graceMs) {
  closeFd(child.toChild);
  if (child.pid > 0) {
    int64_t deadline = nowMs() + graceMs;
    while (!hasExited(child.pid) && nowMs() < deadline) usleep(REAP_POLL_MS * 1000);
    // The group goes too: a wrapper script's own children must not survive.
    kill(-child.pid, SIGKILL);
    kill(child.pid, SIGKILL);
    forgetChild(child.pid);
    while (waitpid(child.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    child.pid = -1;
  }
  closeFd(child.fromChild);
  child.pending.clear();
}

void setChildErrorOutput(int fd) {
  std::lock_guard<std::mutex> guard(registryLock);
  childErrorFd = fd;
}

void killAllChildren() {
  std::lock_guard<std::mutex> guard(registryLock);
  interrupted = true;
  for (pid_t pid : liveChildren) {
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
  }
}

void installInterruptHandler(void (*onInterrupt)()) {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::thread([stopSignals, onInterrupt] {
    int received = 0;
    for (int count = 0;; ++count) {
      if (sigwait(&stopSignals, &received) != 0) continue;
      // The match learns of the stop before its engines die, so that their
      // closed pipes are not taken for crashes.
      if (count == 0) onInterrupt();
      killAllChildren();
      // A second interrupt means the user does not want to wait at all.
      if (count > 0) _exit(128 + received);
    }
  }).detach();
}
