#include "base/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
#include <string>
#include <emscripten/emscripten.h>
#elif defined(__EMSCRIPTEN__)
#include <condition_variable>
#include <deque>
#include <emscripten/emscripten.h>
#include <mutex>
#endif

int64_t nowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

#ifdef CORVAN_POLL_HOST
// One thread: a routine runs to its end where it is started, and helpers are
// refused, so that their callers do the work themselves.
ThreadHandle startThread(ThreadRoutine routine, void* argument) {
  routine(argument);
  return ThreadHandle{};
}
bool startHelperThread(ThreadRoutine, void*, ThreadHandle*) { return false; }
void joinThread(ThreadHandle) {}
void detachThread(ThreadHandle) {}
#else
// Search recursion keeps its move lists on the stack: give every thread room.
// A browser thread's stack comes out of the module's own memory, and only
// the arrays whose address is taken live there, so it gets less.
#ifdef __EMSCRIPTEN__
static constexpr size_t THREAD_STACK_BYTES = size_t(16) << 20;
#else
static constexpr size_t THREAD_STACK_BYTES = size_t(64) << 20;
#endif
// Helpers that only run a flat loop.
static constexpr size_t HELPER_STACK_BYTES = size_t(1) << 20;

static bool createThread(ThreadRoutine routine, void* argument, size_t stackBytes, ThreadHandle* handle) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, stackBytes);
  int error = pthread_create(handle, &attributes, routine, argument);
  pthread_attr_destroy(&attributes);
  return error == 0;
}

ThreadHandle startThread(ThreadRoutine routine, void* argument) {
  ThreadHandle handle;
  if (!createThread(routine, argument, THREAD_STACK_BYTES, &handle)) {
    std::fprintf(stderr, "Thread creation failed\n");
    std::exit(1);
  }
  return handle;
}

bool startHelperThread(ThreadRoutine routine, void* argument, ThreadHandle* handle) {
  return createThread(routine, argument, HELPER_STACK_BYTES, handle);
}

void joinThread(ThreadHandle handle) { pthread_join(handle, nullptr); }
void detachThread(ThreadHandle handle) { pthread_detach(handle); }
#endif

int32_t onlineProcessors() {
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n < 1 ? 1 : n > 4096 ? 4096 : int32_t(n);
}

uint64_t physicalMemoryBytes() {
  long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  return pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) : 0;
}

void CommandLock::init() { sem_init(&semaphore, 0, 1); }

void CommandLock::acquire() {
  while (sem_wait(&semaphore) != 0 && errno == EINTR) {
  }
}

bool CommandLock::tryAcquire() {
  int result;
  while ((result = sem_trywait(&semaphore)) != 0 && errno == EINTR) {
  }
  return result == 0;
}

void CommandLock::release() { sem_post(&semaphore); }

#ifdef CORVAN_POLL_HOST
// The page's lines wait in a queue of the worker's JavaScript (Module.corvanInput),
// since nothing in the module runs while they arrive.
EM_JS(char*, takeQueuedLine, (int peek), {
  const queue = Module.corvanInput || [];
  if (!queue.length) return 0;
  const text = peek ? queue[0] : queue.shift();
  const size = lengthBytesUTF8(text) + 1;
  const memory = _malloc(size);
  stringToUTF8(text, memory, size);
  return memory;
});
EM_JS(int, inputClosed, (), { return Module.corvanInputClosed && !(Module.corvanInput || []).length ? 1 : 0; });

static bool takeLine(std::string& line, bool peek) {
  char* text = takeQueuedLine(peek);
  if (!text) return false;
  line = text;
  std::free(text);
  return true;
}

bool readHostLine(std::string& line) {
  while (!takeLine(line, false)) {
    if (inputClosed()) return false;
    emscripten_sleep(5);
  }
  return true;
}

static bool (*hostLineHandler)(const std::string&) = nullptr;
static int64_t lastTurn = 0;

void setHostLineHandler(bool (*handler)(const std::string& line)) { hostLineHandler = handler; }

void pollHost() {
  const int64_t now = nowMs();
  if (now - lastTurn < 20) return;
  emscripten_sleep(0);
  lastTurn = nowMs();
  std::string line;
  while (hostLineHandler && takeLine(line, true) && hostLineHandler(line)) takeLine(line, false);
}
#elif defined(__EMSCRIPTEN__)
namespace {
std::mutex inputMutex;
std::condition_variable inputReady;
std::deque<std::string> inputLines;
bool inputClosed = false;
}  // namespace

bool readHostLine(std::string& line) {
  std::unique_lock<std::mutex> hold(inputMutex);
  inputReady.wait(hold, [] { return !inputLines.empty() || inputClosed; });
  if (inputLines.empty()) return false;
  line = std::move(inputLines.front());
  inputLines.pop_front();
  return true;
}

// Called by the page's side of the module, on the browser's main thread of
// the runtime: it only holds the lock long enough to queue the line.
extern "C" EMSCRIPTEN_KEEPALIVE void corvan_push_line(const char* text) {
  {
    std::lock_guard<std::mutex> hold(inputMutex);
    inputLines.emplace_back(text ? text : "");
  }
  inputReady.notify_one();
}

extern "C" EMSCRIPTEN_KEEPALIVE void corvan_close_input() {
  {
    std::lock_guard<std::mutex> hold(inputMutex);
    inputClosed = true;
  }
  inputReady.notify_one();
}
#endif
