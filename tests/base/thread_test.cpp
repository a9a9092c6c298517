#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "base/thread.h"

namespace kvx {
namespace {

class CountingThread : public TThread {
 public:
  explicit CountingThread(std::atomic<int>& runs) : runs_(runs) {}
  ~CountingThread() override { WaitFor(); }

 protected:
  void Execute() override { ++runs_; }

 private:
  std::atomic<int>& runs_;
};

TEST(Thread, CreatedSuspendedAndRunsOnceAfterStart) {
  std::atomic<int> runs{0};
  CountingThread thread(runs);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(runs.load(), 0);
  thread.Start();
  thread.Start();
  thread.WaitFor();
  EXPECT_EQ(runs.load(), 1);
  EXPECT_TRUE(thread.FinishedEvent()->IsSet());
}

// Runs until asked to terminate.
class LoopingThread : public TThread {
 public:
  ~LoopingThread() override {
    Terminate();
    WaitFor();
  }
  std::atomic<bool> looping{false};

 protected:
  void Execute() override {
    while (!Terminated()) {
      looping = true;
      std::this_thread::yield();
    }
  }
};

TEST(Thread, TerminateIsCooperative) {
  LoopingThread thread;
  thread.Start();
  while (!thread.looping) std::this_thread::yield();
  EXPECT_FALSE(thread.FinishedEvent()->IsSet());
  thread.Terminate();
  EXPECT_TRUE(thread.Terminated());
  EXPECT_TRUE(thread.FinishedEvent()->Wait(10000));
}

TEST(Thread, DestroyingARunningThreadTerminatesAndJoinsIt) {
  auto thread = std::make_unique<LoopingThread>();
  thread->Start();
  auto finished = thread->FinishedEvent();
  thread.reset();
  EXPECT_TRUE(finished->IsSet());
}

// Deletes itself when Execute returns; the flag shows that its destructor ran.
class SelfFreeingThread : public TThread {
 public:
  SelfFreeingThread(std::atomic<bool>& destroyed, Event& go) : destroyed_(destroyed), go_(go) {
    SetFreeOnTerminate(true);
  }
  ~SelfFreeingThread() override { destroyed_ = true; }

 protected:
  void Execute() override { go_.Wait(); }

 private:
  std::atomic<bool>& destroyed_;
  Event& go_;
};

TEST(Thread, FreeOnTerminateDeletesTheObjectBeforeSignallingFinished) {
  std::atomic<bool> destroyed{false};
  Event go;
  auto* thread = new SelfFreeingThread(destroyed, go);
  auto finished = thread->FinishedEvent();
  thread->Start();
  EXPECT_FALSE(finished->Wait(5));
  EXPECT_FALSE(destroyed.load());
  go.Set();
  ASSERT_TRUE(finished->Wait(10000));
  EXPECT_TRUE(destroyed.load());
}

class ThrowingThread : public TThread {
 public:
  ~ThrowingThread() override { WaitFor(); }

 protected:
  void Execute() override { throw std::runtime_error("worker failure"); }
};

TEST(Thread, AnExceptionEndsOnlyTheWorker) {
  ThrowingThread thread;
  thread.Start();
  EXPECT_TRUE(thread.FinishedEvent()->Wait(10000));
}

TEST(Thread, PriorityIsKeptBeforeAndAfterStart) {
  LoopingThread thread;
  EXPECT_EQ(thread.Priority(), ThreadPriority::Normal);
  thread.SetPriority(ThreadPriority::Lower);
  thread.Start();
  thread.SetPriority(ThreadPriority::Idle);
  EXPECT_EQ(thread.Priority(), ThreadPriority::Idle);
  thread.Terminate();
}

}  // namespace
}  // namespace kvx
