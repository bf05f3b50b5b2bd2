#include "support/engine_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static long long monotonicMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

EngineProcess::EngineProcess(const std::vector<std::string>& argv) {
  signal(SIGPIPE, SIG_IGN);
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[0]);
    close(in[1]);
    close(out[0]);
    close(out[1]);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  toChild_ = in[1];
  fromChild_ = out[0];
}

EngineProcess::~EngineProcess() {
  closeInput();
  if (pid_ > 0 && !exited_) {
    if (waitExit(2000) == -1) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  if (fromChild_ >= 0) close(fromChild_);
}

void EngineProcess::send(const std::string& line) { sendRaw(line + "\n"); }

void EngineProcess::sendRaw(const std::string& bytes) {
  size_t done = 0;
  while (toChild_ >= 0 && done < bytes.size()) {
    ssize_t n = write(toChild_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      if (errno == EINTR) continue;
      break;
    }
    done += size_t(n);
  }
}

void EngineProcess::closeInput() {
  if (toChild_ >= 0) close(toChild_);
  toChild_ = -1;
}

bool EngineProcess::readLine(std::string& line, int timeoutMs) {
  long long deadline = monotonicMs() + timeoutMs;
  for (;;) {
    size_t newline = buffer_.find('\n');
    if (newline != std::string::npos) {
      line = buffer_.substr(0, newline);
      buffer_.erase(0, newline + 1);
      lines_.push_back(line);
      return true;
    }
    long long left = deadline - monotonicMs();
    if (left <= 0 || fromChild_ < 0) return false;
    pollfd p{fromChild_, POLLIN, 0};
    int ready = poll(&p, 1, int(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char chunk[4096];
    ssize_t n = read(fromChild_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer_.append(chunk, size_t(n));
  }
}

bool EngineProcess::waitFor(const std::string& prefix, std::string& line, int timeoutMs) {
  long long deadline = monotonicMs() + timeoutMs;
  for (;;) {
    long long left = deadline - monotonicMs();
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
  long long deadline = monotonicMs() + timeoutMs;
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      exited_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return status_;
    }
    if (monotonicMs() >= deadline) return -1;
    usleep(2000);
  }
}

std::string runWithInput(const std::vector<std::string>& argv, const std::string& input, int* exitStatus,
                         int timeoutMs) {
  EngineProcess process(argv);
  process.sendRaw(input);
  process.closeInput();
  std::string all, line;
  long long deadline = monotonicMs() + timeoutMs;
  while (process.readLine(line, int(std::max(1LL, deadline - monotonicMs())))) all += line + "\n";
  int status = process.waitExit(int(std::max(1LL, deadline - monotonicMs())));
  if (exitStatus) *exitStatus = status;
  return all;
}
