#include "ui/dispatcher.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace kvx::ui {
namespace {

// The one queue of the process, between any thread and the GUI thread.
struct Dispatcher {
  std::mutex lock;
  std::condition_variable posted;
  std::deque<Task> tasks;
  std::function<void()> wakeUp;
};

Dispatcher& Queue() {
  static Dispatcher dispatcher;
  return dispatcher;
}

}  // namespace

void PostToGUI(Task task) {
  Dispatcher& queue = Queue();
  std::function<void()> wakeUp;
  {
    std::lock_guard<std::mutex> hold(queue.lock);
    const bool wasEmpty = queue.tasks.empty();
    queue.tasks.push_back(std::move(task));
    if (wasEmpty) wakeUp = queue.wakeUp;
  }
  queue.posted.notify_all();
  if (wakeUp) wakeUp();
}

void PostToGUI(const Lifetime& owner, Task task) {
  PostToGUI([alive = owner.Watch(), task = std::move(task)] {
    if (!alive.expired()) task();
  });
}

size_t RunPostedTasks() {
  Dispatcher& queue = Queue();
  std::deque<Task> batch;
  {
    std::lock_guard<std::mutex> hold(queue.lock);
    batch.swap(queue.tasks);
  }
  for (Task& task : batch) task();
  return batch.size();
}

bool WaitForPostedTasks(std::chrono::milliseconds timeout) {
  Dispatcher& queue = Queue();
  std::unique_lock<std::mutex> hold(queue.lock);
  return queue.posted.wait_for(hold, timeout, [&] { return !queue.tasks.empty(); });
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    RunPostedTasks();
    if (done()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    WaitForPostedTasks(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now));
  }
}

void SetWakeUp(std::function<void()> wakeUp) {
  Dispatcher& queue = Queue();
  std::lock_guard<std::mutex> hold(queue.lock);
  queue.wakeUp = std::move(wakeUp);
}

}  // namespace kvx::ui
