// Without Windows the priority level is only recorded: ordinary POSIX scheduling gives
// unprivileged threads no per-thread priorities.
#include "base/thread.h"

namespace kvx {

void ApplyCurrentThreadPriority(ThreadPriority) {}
void ApplyThreadPriority(std::thread::native_handle_type, ThreadPriority) {}

}  // namespace kvx
