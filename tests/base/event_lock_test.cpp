#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/event.h"
#include "base/lock.h"

namespace kvx {
namespace {

TEST(Event, ManualResetStaysSignalledUntilReset) {
  Event event(true, false);
  EXPECT_FALSE(event.Wait(0));
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(0));
  event.Reset();
  EXPECT_FALSE(event.Wait(1));
  EXPECT_FALSE(event.IsSet());
}

TEST(Event, AutoResetReleasesOneWaitAndClears) {
  Event event(false, true);
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(0));
  EXPECT_FALSE(event.IsSet());
}

TEST(Event, WaitReturnsWhenAnotherThreadSignals) {
  Event event;
  std::thread setter([&] { event.Set(); });
  EXPECT_TRUE(event.Wait(Event::kInfinite));
  setter.join();
}

TEST(Event, AutoResetHandsEachSignalToExactlyOneWaiter) {
  Event event(false, false);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (event.Wait(2000)) ++released;
    });
  for (int i = 0; i < 3; ++i) {
    event.Set();
    while (released.load() != i + 1) std::this_thread::yield();
  }
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(released.load(), 3);
}

TEST(CriticalSection, GuardsACounterAndIsReentrant) {
  CriticalSection section;
  int counter = 0;
  auto add = [&] {
    for (int i = 0; i < 10000; ++i) {
      LockGuard outer(section);
      LockGuard inner(section);  // the holder may enter again
      ++counter;
    }
  };
  std::thread a(add), b(add);
  a.join();
  b.join();
  EXPECT_EQ(counter, 20000);
}

}  // namespace
}  // namespace kvx
