#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>

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

// Notes, from inside Execute, whether the thread knows it is running there.
class SelfAwareThread : public TThread {
 public:
  ~SelfAwareThread() override { WaitFor(); }
  std::atomic<bool> seenInside{false};

 protected:
  void Execute() override { seenInside = OnThisThread(); }
};

TEST(Thread, OnlyTheWorkerIsOnItsThread) {
  SelfAwareThread thread;
  EXPECT_FALSE(thread.OnThisThread()) << "not started";
  thread.Start();
  thread.WaitFor();
  EXPECT_TRUE(thread.seenInside.load());
  EXPECT_FALSE(thread.OnThisThread());
}

// Ends Execute with whatever the row throws, or records a failure of its own.
class FailingThread : public TThread {
 public:
  explicit FailingThread(std::function<void(FailingThread&)> fail) : fail_(std::move(fail)) {}
  ~FailingThread() override { WaitFor(); }
  void Record(const std::string& text) { RecordFailure(text); }

 protected:
  void Execute() override { fail_(*this); }

 private:
  std::function<void(FailingThread&)> fail_;
};

TEST(Thread, AFailureEndsOnlyTheWorkerAndIsKeptForItsOwner) {
  const struct {
    const char* name;
    std::function<void(FailingThread&)> fail;
    const char* failure;
  } rows[] = {
      {"std::exception", [](FailingThread&) { throw std::runtime_error("worker failure"); }, "worker failure"},
      {"anything else", [](FailingThread&) { throw 42; }, "unknown exception"},
      {"recorded", [](FailingThread& self) { self.Record("DISC GONE"); }, "DISC GONE"},
      {"none", [](FailingThread&) {}, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FailingThread thread(row.fail);
    EXPECT_EQ(thread.Failure(), "");
    thread.Start();
    ASSERT_TRUE(thread.FinishedEvent()->Wait(10000));
    EXPECT_EQ(thread.Failure(), row.failure);
  }
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
