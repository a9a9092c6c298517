#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/thread.h"

namespace kvx {
namespace {

class CountingThread : public TThread {
 public:
  explicit CountingThread(std::atomic<int>& runs) : runs_(runs) {}

 protected:
  void Execute() override { ++runs_; }

 private:
  std::atomic<int>& runs_;
};

TEST(Thread, CreatedSuspendedAndRunsOnceAfterStart) {
  std::atomic<int> runs{0};
  const auto thread = MakeOwnedThread<CountingThread>(runs);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(runs.load(), 0);
  thread->Start();
  thread->Start();
  thread->WaitFor();
  EXPECT_EQ(runs.load(), 1);
  EXPECT_TRUE(thread->FinishedEvent()->IsSet());
}

// Runs until asked to terminate.
class LoopingThread : public TThread {
 public:
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
  const auto thread = MakeOwnedThread<LoopingThread>();
  thread->Start();
  while (!thread->looping) std::this_thread::yield();
  EXPECT_FALSE(thread->FinishedEvent()->IsSet());
  thread->Terminate();
  EXPECT_TRUE(thread->Terminated());
  EXPECT_TRUE(thread->FinishedEvent()->Wait(10000));
}

TEST(Thread, DestroyingAnOwnedRunningThreadTerminatesAndJoinsIt) {
  auto thread = MakeOwnedThread<LoopingThread>();
  thread->Start();
  auto finished = thread->FinishedEvent();
  thread.reset();
  EXPECT_TRUE(finished->IsSet());
}

// Ends when its own flag is lowered, not on Terminate; Execute uses a member of the
// derived class to its last step.
class WorkingThread : public TThread {
 public:
  std::atomic<bool> working{true};
  std::vector<int> steps;

 protected:
  void Execute() override {
    while (working) std::this_thread::yield();
    steps.assign(1000, 1);  // a member of the derived part: still alive (ASan would tell)
  }
  void RequestStop() override { working = false; }
};

TEST(Thread, TheOwnerStopsTheThreadTheWayItsClassSaysBeforeAnyOfItGoes) {
  auto thread = MakeOwnedThread<WorkingThread>();
  thread->Start();
  auto finished = thread->FinishedEvent();
  thread.reset();
  EXPECT_TRUE(finished->IsSet());
}

#ifndef NDEBUG
TEST(ThreadDeathTest, AThreadStillRunningWhenItGoesEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        LoopingThread thread;
        thread.Start();
        while (!thread.looping) std::this_thread::yield();
      },
      "stopped before it goes");
}
#endif

// Notes, from inside Execute, whether the thread knows it is running there.
class SelfAwareThread : public TThread {
 public:
  std::atomic<bool> seenInside{false};

 protected:
  void Execute() override { seenInside = OnThisThread(); }
};

TEST(Thread, OnlyTheWorkerIsOnItsThread) {
  const auto thread = MakeOwnedThread<SelfAwareThread>();
  EXPECT_FALSE(thread->OnThisThread()) << "not started";
  thread->Start();
  thread->WaitFor();
  EXPECT_TRUE(thread->seenInside.load());
  EXPECT_FALSE(thread->OnThisThread());
}

// Ends Execute with whatever the row throws, or records a failure of its own.
class FailingThread : public TThread {
 public:
  explicit FailingThread(std::function<void(FailingThread&)> fail) : fail_(std::move(fail)) {}
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
    const auto thread = MakeOwnedThread<FailingThread>(row.fail);
    EXPECT_EQ(thread->Failure(), "");
    thread->Start();
    ASSERT_TRUE(thread->FinishedEvent()->Wait(10000));
    EXPECT_EQ(thread->Failure(), row.failure);
  }
}

TEST(Thread, PriorityIsKeptBeforeAndAfterStart) {
  const auto thread = MakeOwnedThread<LoopingThread>();
  EXPECT_EQ(thread->Priority(), ThreadPriority::Normal);
  thread->SetPriority(ThreadPriority::Lower);
  thread->Start();
  thread->SetPriority(ThreadPriority::Idle);
  EXPECT_EQ(thread->Priority(), ThreadPriority::Idle);
}

}  // namespace
}  // namespace kvx
