#include <windows.h>
#include <pthread.h>

#include <gtest/gtest.h>

#include <atomic>

#include "base/thread.h"

namespace kvx {
namespace {

// Reports the Windows priority it runs with, then waits to be terminated.
class PriorityProbe : public TThread {
 public:
  std::atomic<int> seen{-100};
  std::atomic<HANDLE> handle{nullptr};

 protected:
  void Execute() override {
    seen = GetThreadPriority(GetCurrentThread());
    handle = reinterpret_cast<HANDLE>(pthread_gethandle(pthread_self()));
    while (!Terminated()) Sleep(1);
  }
};

TEST(ThreadPriorityWin32, LevelSetBeforeStartIsAppliedWhenTheThreadRuns) {
  const auto probe = MakeOwnedThread<PriorityProbe>();
  probe->SetPriority(ThreadPriority::Lowest);
  probe->Start();
  while (probe->seen == -100) Sleep(1);
  EXPECT_EQ(probe->seen.load(), THREAD_PRIORITY_LOWEST);
}

TEST(ThreadPriorityWin32, LevelSetWhileRunningReachesTheNativeThread) {
  const auto probe = MakeOwnedThread<PriorityProbe>();
  probe->Start();
  while (probe->handle == nullptr) Sleep(1);
  probe->SetPriority(ThreadPriority::TimeCritical);
  EXPECT_EQ(GetThreadPriority(probe->handle), THREAD_PRIORITY_TIME_CRITICAL);
  probe->SetPriority(ThreadPriority::Lower);
  EXPECT_EQ(GetThreadPriority(probe->handle), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace
}  // namespace kvx
