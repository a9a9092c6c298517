#include "base/event.h"

#include <chrono>

namespace kvx {

Event::Event(bool manualReset, bool initiallySignalled)
    : manualReset_(manualReset), signalled_(initiallySignalled) {}

// Notified under the lock: a waiter that returns may destroy the event at once (a request's
// completion signal goes with its request), so Set must be done with it by then.
void Event::Set() {
  std::lock_guard<std::mutex> guard(mutex_);
  signalled_ = true;
  if (manualReset_)
    changed_.notify_all();
  else
    changed_.notify_one();
}

void Event::Reset() {
  std::lock_guard<std::mutex> guard(mutex_);
  signalled_ = false;
}

bool Event::Wait(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto isSet = [this] { return signalled_; };
  if (timeoutMs == kInfinite)
    changed_.wait(lock, isSet);
  else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), isSet))
    return false;
  if (!manualReset_) signalled_ = false;
  return true;
}

bool Event::IsSet() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return signalled_;
}

}  // namespace kvx
