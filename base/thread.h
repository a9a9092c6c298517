// Worker threads in the manner of the engine's thread classes: a derived class
// overrides Execute; the thread is created suspended and runs once Start is called.
// Termination is cooperative (Execute polls Terminated). A thread marked
// free-on-terminate deletes itself when Execute returns; its FinishedEvent tells
// others when that has happened.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "base/event.h"

namespace kvx {

enum class ThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

class TThread {
 public:
  TThread();
  // A started thread that does not free itself is asked to terminate and joined.
  // Derived classes whose members Execute uses call Terminate and WaitFor in their
  // own destructor, before those members go.
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Runs Execute on a new thread; later calls do nothing.
  void Start();
  // Asks Execute to end; Execute decides when (Terminated).
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Blocks until Execute has returned. Not for a free-on-terminate thread once started.
  void WaitFor();

  // Applied at once to a running thread, else when it starts. Windows maps the levels
  // to the THREAD_PRIORITY_* values; elsewhere the level is only recorded.
  void SetPriority(ThreadPriority priority);
  ThreadPriority Priority() const;

  // Set before Start: the object deletes itself after Execute returns.
  void SetFreeOnTerminate(bool value) { freeOnTerminate_ = value; }
  bool FreeOnTerminate() const { return freeOnTerminate_; }

  // Signalled after Execute returned and, for a free-on-terminate thread, after the
  // object was deleted. Holders may keep it beyond the thread's lifetime.
  std::shared_ptr<Event> FinishedEvent() const { return finished_; }

 protected:
  virtual void Execute() = 0;

 private:
  void Run();

  mutable std::mutex lock_;  // guards the start hand-over and the priority
  std::thread thread_;
  std::thread::native_handle_type nativeHandle_{};
  bool started_ = false;
  ThreadPriority priority_ = ThreadPriority::Normal;
  std::atomic<bool> terminated_{false};
  bool freeOnTerminate_ = false;
  const std::shared_ptr<Event> finished_;
};

// Platform part: applies a priority to the calling thread or to a running one.
void ApplyCurrentThreadPriority(ThreadPriority priority);
void ApplyThreadPriority(std::thread::native_handle_type thread, ThreadPriority priority);

}  // namespace kvx
