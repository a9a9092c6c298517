#include "base/thread.h"

#include <cassert>

#include "base/exception_text.h"

namespace kvx {

TThread::TThread() : finished_(std::make_shared<Event>(true, false)) {}

TThread::~TThread() { assert(!thread_.joinable() && "a started thread is stopped before it goes (OwnedThread)"); }

void TThread::Start() {
  std::lock_guard<std::mutex> guard(lock_);
  if (started_) return;
  started_ = true;
  thread_ = std::thread(&TThread::Run, this);
  nativeHandle_ = thread_.native_handle();
  id_ = thread_.get_id();
}

void TThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TThread::StopAndWait() {
  RequestStop();
  WaitFor();
}

bool TThread::OnThisThread() const {
  std::lock_guard<std::mutex> guard(lock_);
  return started_ && id_ == std::this_thread::get_id();
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

std::string TThread::Failure() const {
  std::lock_guard<std::mutex> guard(lock_);
  return failure_;
}

void TThread::RecordFailure(const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  failure_ = text;
}

void TThread::Run() {
  {
    // Start holds the lock until thread_ is published.
    std::lock_guard<std::mutex> guard(lock_);
    ApplyCurrentThreadPriority(priority_);
  }
  try {
    Execute();
  } catch (...) {
    // A worker's failure ends the worker, never the process; its owner reads why.
    RecordFailure(CurrentExceptionText());
  }
  finished_->Set();
}

}  // namespace kvx
