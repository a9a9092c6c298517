// A critical section (re-entrant for the thread that holds it, as a Win32 critical
// section is) and its scope guard.
#pragma once

#include <mutex>

namespace kvx {

class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds a critical section for the lifetime of the guard.
class LockGuard {
 public:
  explicit LockGuard(CriticalSection& section) : section_(section) { section_.Enter(); }
  ~LockGuard() { section_.Leave(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  CriticalSection& section_;
};

}  // namespace kvx
