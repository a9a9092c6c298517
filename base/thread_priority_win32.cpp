#include <windows.h>
#include <pthread.h>

#include "base/thread.h"

namespace kvx {
namespace {

int Win32Priority(ThreadPriority priority) {
  switch (priority) {
    case ThreadPriority::Idle: return THREAD_PRIORITY_IDLE;
    case ThreadPriority::Lowest: return THREAD_PRIORITY_LOWEST;
    case ThreadPriority::Lower: return THREAD_PRIORITY_BELOW_NORMAL;
    case ThreadPriority::Normal: return THREAD_PRIORITY_NORMAL;
    case ThreadPriority::Higher: return THREAD_PRIORITY_ABOVE_NORMAL;
    case ThreadPriority::Highest: return THREAD_PRIORITY_HIGHEST;
    case ThreadPriority::TimeCritical: return THREAD_PRIORITY_TIME_CRITICAL;
  }
  return THREAD_PRIORITY_NORMAL;
}

}  // namespace

void ApplyCurrentThreadPriority(ThreadPriority priority) {
  SetThreadPriority(GetCurrentThread(), Win32Priority(priority));
}

void ApplyThreadPriority(std::thread::native_handle_type thread, ThreadPriority priority) {
  SetThreadPriority(reinterpret_cast<HANDLE>(pthread_gethandle(thread)), Win32Priority(priority));
}

}  // namespace kvx
