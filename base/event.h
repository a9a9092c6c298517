// A manual- or auto-reset event with a timed wait, in the manner of a Win32 event
// object, over the standard library. Used for hand-overs between worker threads and
// for command completion inside the process.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace kvx {

class Event {
 public:
  static constexpr uint32_t kInfinite = 0xFFFFFFFF;

  // A manual-reset event stays signalled until Reset; an auto-reset event releases
  // one waiter and clears itself.
  explicit Event(bool manualReset = true, bool initiallySignalled = false);
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // True when the event was signalled within timeoutMs (kInfinite: no limit).
  bool Wait(uint32_t timeoutMs = kInfinite);
  bool IsSet() const;

 private:
  const bool manualReset_;
  bool signalled_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
};

}  // namespace kvx
