#include "base/thread.h"

namespace kvx {

TThread::TThread() : finished_(std::make_shared<Event>(true, false)) {}

TThread::~TThread() {
  if (thread_.joinable()) {
    Terminate();
    thread_.join();
  }
}

void TThread::Start() {
  std::lock_guard<std::mutex> guard(lock_);
  if (started_) return;
  started_ = true;
  thread_ = std::thread(&TThread::Run, this);
  nativeHandle_ = thread_.native_handle();
  // A thread that frees itself is never joined.
  if (freeOnTerminate_) thread_.detach();
}

void TThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TThread::SetPriority(ThreadPriority priority) {
  std::lock_guard<std::mutex> guard(lock_);
  priority_ = priority;
  if (started_ && !finished_->IsSet()) ApplyThreadPriority(nativeHandle_, priority);
}

ThreadPriority TThread::Priority() const {
  std::lock_guard<std::mutex> guard(lock_);
  return priority_;
}

void TThread::Run() {
  bool freeSelf;
  {
    // Start holds the lock until thread_ is published.
    std::lock_guard<std::mutex> guard(lock_);
    ApplyCurrentThreadPriority(priority_);
    freeSelf = freeOnTerminate_;
  }
  try {
    Execute();
  } catch (...) {
    // A worker's failure ends the worker, never the process.
  }
  std::shared_ptr<Event> finished = finished_;
  if (freeSelf) delete this;
  finished->Set();
}

}  // namespace kvx
