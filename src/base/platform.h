// The few operating-system services the engine needs: a millisecond
// monotonic clock, threads with a pointer argument, a lock that one thread
// takes and another releases, and a spin lock on a 32-bit word.
#pragma once

#include <atomic>
#include <cstdint>
#include <pthread.h>
#include <semaphore.h>
#include <string>

// Milliseconds of the monotonic clock: seconds * 1000 + nanoseconds / 1000000.
int64_t nowMs();

using ThreadHandle = pthread_t;
using ThreadRoutine = void* (*)(void*);

// Starts a thread with a stack large enough for the deepest search.
ThreadHandle startThread(ThreadRoutine routine, void* argument);
// Starts a thread with a small stack for work that may also be done
// without it; false (and nothing started) when the system refuses.
bool startHelperThread(ThreadRoutine routine, void* argument, ThreadHandle* handle);
void joinThread(ThreadHandle handle);
void detachThread(ThreadHandle handle);

// Processors currently online (at least 1).
int32_t onlineProcessors();
// Bytes of physical memory installed (0 when unknown).
uint64_t physicalMemoryBytes();

// A binary semaphore: any thread may release what another acquired.
struct CommandLock {
  sem_t semaphore;
  void init();
  void acquire();
  // Takes the lock only when it is free at once.
  bool tryAcquire();
  void release();
};

// Spin lock by atomic exchange on a 32-bit word; held only for a few writes.
struct SpinLock {
  std::atomic<uint32_t> word{0};
  void lock() {
    while (word.exchange(1, std::memory_order_acquire) != 0) {
    }
  }
  void unlock() { word.store(0, std::memory_order_release); }
};

#ifdef __EMSCRIPTEN__
// The browser has no standard input: the page hands the engine one line at a
// time through the exported corvan_push_line, and the command loop takes
// them here in the order given, waiting while there is none. False once the
// page has closed the input (corvan_close_input), after the last line.
bool readHostLine(std::string& line);
#endif

// The single-threaded browser module has no thread to read commands while
// it searches: the search calls pollHost() at its clock checks and in its
// waits, which every few tens of milliseconds gives the browser its turn
// (the module's stack is saved and restored) and hands the lines that came
// in meanwhile to the handler set here, for as long as it takes them
// (stop, isready, ponderhit); the rest wait for the command loop. Elsewhere
// pollHost() is nothing.
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
#define CORVAN_POLL_HOST 1
void setHostLineHandler(bool (*handler)(const std::string& line));
void pollHost();
#else
inline void pollHost() {}
#endif
