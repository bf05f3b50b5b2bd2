#include "common/childprocess.h"

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

#include "base/platform.h"

namespace {

// Longest line kept from a child; longer output is split, never buffered
// without bound.
constexpr size_t MAX_LINE_BYTES = 1 << 16;
constexpr int REAP_POLL_US = 2000;
// poll takes an int of milliseconds: a far deadline is waited for in steps.
constexpr int64_t LONGEST_POLL_MS = 1000000;

// Every live child's pid (for a child of its own group, also the group's
// id). Forks happen under the lock, so an interrupt either sees a new child
// or stops it from being started.
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

// Kills every live child (their groups too) and refuses to start new ones.
void killAllChildren() {
  std::lock_guard<std::mutex> guard(registryLock);
  interrupted = true;
  for (pid_t pid : liveChildren) {
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
  }
}

// Runs in the forked child: only async-signal-safe calls until exec. The
// program starts with the default signal handling, whatever its starter
// chose for itself (SIGPIPE ignored, stop signals blocked).
[[noreturn]] void execChild(int input, int output, int errors, bool ownGroup, pid_t parent, char* const* argv) {
  if (ownGroup) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
  }
  signal(SIGPIPE, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (dup2(input, 0) < 0 || dup2(output, 1) < 0) _exit(127);
  if (errors >= 0 && dup2(errors, 2) < 0) _exit(127);
  execv(argv[0], argv);
  _exit(127);
}

}  // namespace

ChildProcess::~ChildProcess() { stopChild(*this, 0); }

bool startChild(ChildProcess& child, const std::vector<std::string>& argv, ChildGroup group,
                std::string& error) {
  static std::once_flag ignorePipeSignal;
  // A write to a child that died must fail with EPIPE, not end the caller.
  std::call_once(ignorePipeSignal, [] { signal(SIGPIPE, SIG_IGN); });
  stopChild(child, 0);
  if (argv.empty()) {
    error = "no program to run";
    return false;
  }
  // Built before the fork: the child of a threaded program must not allocate.
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
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
  const bool ownGroup = group == GROUP_OWN;
  const pid_t parent = getpid();
  pid_t pid;
  {
    std::lock_guard<std::mutex> guard(registryLock);
    pid = interrupted ? -1 : fork();
    if (pid == 0) execChild(input[0], output[1], childErrorFd, ownGroup, parent, args.data());
    if (pid > 0) {
      if (ownGroup) setpgid(pid, pid);
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
  child.ownGroup = ownGroup;
  child.pending.clear();
  return true;
}

bool writeBytes(ChildProcess& child, const std::string& bytes) {
  if (child.toChild < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(child.toChild, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

bool writeLine(ChildProcess& child, const std::string& line) { return writeBytes(child, line + "\n"); }

void closeInput(ChildProcess& child) { closeFd(child.toChild); }

ReadStatus readLine(ChildProcess& child, std::string& line, int64_t deadlineMs) {
  for (;;) {
    size_t end = child.pending.find('\n');
    if (end != std::string::npos || child.pending.size() >= MAX_LINE_BYTES) {
      if (end == std::string::npos) end = MAX_LINE_BYTES;
      line.assign(child.pending, 0, end);
      child.pending.erase(0, end < child.pending.size() ? end + 1 : end);
      return READ_LINE;
    }
    if (child.fromChild < 0) return READ_CLOSED;
    int64_t waitMs = deadlineMs - nowMs();
    if (waitMs < 0) return READ_TIMEOUT;
    pollfd fd{child.fromChild, POLLIN, 0};
    int ready = poll(&fd, 1, int(waitMs > LONGEST_POLL_MS ? LONGEST_POLL_MS : waitMs));
    if (ready < 0 && errno != EINTR) return READ_CLOSED;
    if (ready <= 0) continue;
    char buffer[4096];
    ssize_t n = read(child.fromChild, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      closeFd(child.fromChild);
      if (!child.pending.empty()) child.pending.push_back('\n');
      continue;
    }
    child.pending.append(buffer, size_t(n));
  }
}

bool waitForExit(const ChildProcess& child, int64_t deadlineMs) {
  for (;;) {
    if (child.pid <= 0 || hasExited(child.pid)) return true;
    if (nowMs() >= deadlineMs) return false;
    usleep(REAP_POLL_US);
  }
}

int reapChild(ChildProcess& child) {
  if (child.pid <= 0) return -1;
  forgetChild(child.pid);
  int status = -1;
  while (waitpid(child.pid, &status, 0) < 0) {
    if (errno != EINTR) {
      status = -1;
      break;
    }
  }
  child.pid = -1;
  return status;
}

int stopChild(ChildProcess& child, int64_t graceMs) {
  closeInput(child);
  int status = -1;
  if (child.pid > 0) {
    const bool exited = waitForExit(child, nowMs() + graceMs);
    // The group is killed while its leader is still unreaped, so that its
    // id cannot have passed to another process.
    if (child.ownGroup) kill(-child.pid, SIGKILL);
    if (!exited) kill(child.pid, SIGKILL);
    status = reapChild(child);
    if (!exited) status = -1;
  }
  closeFd(child.fromChild);
  child.pending.clear();
  return status;
}

void setChildErrorOutput(int fd) {
  std::lock_guard<std::mutex> guard(registryLock);
  childErrorFd = fd;
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
      // The caller learns of the stop before its children die, so that
      // their closed pipes are not taken for crashes.
      if (count == 0) onInterrupt();
      killAllChildren();
      // A second interrupt means the user does not want to wait at all.
      if (count > 0) _exit(128 + received);
    }
  }).detach();
}
