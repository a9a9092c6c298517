// Worker threads in the manner of the engine's thread classes: a derived class
// overrides Execute; the thread is created suspended and runs once Start is called.
// Termination is cooperative (Execute polls Terminated). The object is owned by whoever
// started it, through OwnedThread, which stops it (asks it to end, then joins it) while
// all of the object still lives; an exception that leaves Execute is kept as the
// thread's Failure for that owner.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "base/event.h"

namespace kvx {

enum class ThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

class TThread {
 public:
  TThread();
  // The thread has been stopped (or never started) by now: joining here would be too
  // late, the derived members Execute uses being gone. A thread still running ends the
  // process (a fault of its owner, which tests catch).
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Runs Execute on a new thread; later calls do nothing.
  void Start();
  // Asks Execute to end; Execute decides when (Terminated).
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Blocks until Execute has returned. Not from the thread itself (OnThisThread).
  void WaitFor();
  // Asks Execute to end (RequestStop) and waits until it has: what OwnedThread does
  // before the object goes.
  void StopAndWait();
  // Whether the caller runs on this thread (which cannot join itself).
  bool OnThisThread() const;

  // Applied at once to a running thread, else when it starts. Windows maps the levels
  // to the THREAD_PRIORITY_* values; elsewhere the level is only recorded.
  void SetPriority(ThreadPriority priority);
  ThreadPriority Priority() const;

  // Signalled after Execute returned. Holders may keep it beyond the thread's lifetime.
  std::shared_ptr<Event> FinishedEvent() const { return finished_; }

  // Why the work failed, empty while it has not: the text of an exception that left
  // Execute, or what Execute recorded. Final once FinishedEvent is set.
  std::string Failure() const;

 protected:
  virtual void Execute() = 0;
  // How StopAndWait asks Execute to end: Terminate, unless the work ends another way.
  virtual void RequestStop() { Terminate(); }
  void RecordFailure(const std::string& text);

 private:
  void Run();

  mutable std::mutex lock_;  // guards the start hand-over, the priority and the failure
  std::thread thread_;
  std::thread::native_handle_type nativeHandle_{};
  std::thread::id id_;
  bool started_ = false;
  ThreadPriority priority_ = ThreadPriority::Normal;
  std::atomic<bool> terminated_{false};
  std::string failure_;
  const std::shared_ptr<Event> finished_;
};

// Stops a thread, then deletes it.
struct StopThread {
  void operator()(TThread* thread) const {
    thread->StopAndWait();
    delete thread;
  }
};

// How a thread is owned: destroying or replacing the pointer stops the thread first, so
// that no derived class has to remember to.
template <typename Thread>
using OwnedThread = std::unique_ptr<Thread, StopThread>;

template <typename Thread, typename... Args>
OwnedThread<Thread> MakeOwnedThread(Args&&... args) {
  return OwnedThread<Thread>(new Thread(std::forward<Args>(args)...));
}

// Platform part: applies a priority to the calling thread or to a running one.
void ApplyCurrentThreadPriority(ThreadPriority priority);
void ApplyThreadPriority(std::thread::native_handle_type thread, ThreadPriority priority);

}  // namespace kvx
