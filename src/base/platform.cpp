#include "base/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

int64_t nowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Search recursion keeps its move lists on the stack: give every thread room.
static constexpr size_t THREAD_STACK_BYTES = size_t(64) << 20;
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
