// The GUI-thread dispatcher fed from worker threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "ui/dispatcher.h"

namespace kvx::ui {
namespace {

using namespace std::chrono_literals;

TEST(Dispatcher, TasksFromWorkersRunOnTheGUIThreadInOrder) {
  std::vector<int> seen;  // touched only by tasks, on this thread
  const auto gui = std::this_thread::get_id();
  std::atomic<int> wakeUps{0};
  SetWakeUp([&] { ++wakeUps; });
  std::vector<std::thread> workers;
  for (int w = 0; w < 3; ++w)
    workers.emplace_back([&, w] {
      for (int i = 0; i < 100; ++i)
        PostToGUI([&, w, i] {
          EXPECT_EQ(std::this_thread::get_id(), gui);
          seen.push_back(w * 1000 + i);
        });
    });
  for (auto& worker : workers) worker.join();
  SetWakeUp(nullptr);
  EXPECT_GE(wakeUps.load(), 1);
  EXPECT_LE(wakeUps.load(), 300);
  EXPECT_EQ(RunPostedTasks(), 300u);
  ASSERT_EQ(seen.size(), 300u);
  for (int w = 0; w < 3; ++w) {  // each worker's tasks keep their order
    int last = -1;
    for (int value : seen)
      if (value / 1000 == w) {
        EXPECT_GT(value, last);
        last = value;
      }
  }
  EXPECT_EQ(RunPostedTasks(), 0u);
}

TEST(Dispatcher, TasksOfAnOwnerThatIsGoneAreDropped) {
  int ran = 0;
  auto owner = std::make_unique<Lifetime>();
  PostToGUI(*owner, [&] { ++ran; });
  PostToGUI(*owner, [&] { ++ran; });
  RunPostedTasks();
  PostToGUI(*owner, [&] { ++ran; });
  owner.reset();
  RunPostedTasks();
  EXPECT_EQ(ran, 2);
}

TEST(Dispatcher, PumpUntilWaitsForAWorker) {
  std::atomic<bool> release{false};
  bool done = false;
  std::thread worker([&] {
    while (!release) std::this_thread::sleep_for(1ms);
    PostToGUI([&] { done = true; });
  });
  EXPECT_FALSE(PumpUntil([&] { return done; }, 20ms));
  release = true;
  EXPECT_TRUE(PumpUntil([&] { return done; }, 10s));
  worker.join();
}

}  // namespace
}  // namespace kvx::ui
