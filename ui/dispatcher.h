// The GUI-thread dispatcher: worker threads hand UI work to the GUI thread through it.
// With real windows a posted message wakes the GUI thread, which runs the tasks in its
// message loop; headless, the GUI thread runs them with RunPostedTasks or PumpUntil.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace kvx::ui {

using Task = std::function<void()>;

// Something whose posted tasks must not run once it is gone (a form, a worker's
// owner). Created and destroyed on the GUI thread.
class Lifetime {
 public:
  Lifetime() : token_(std::make_shared<char>()) {}
  Lifetime(const Lifetime&) = delete;
  Lifetime& operator=(const Lifetime&) = delete;
  std::weak_ptr<char> Watch() const { return token_; }

 private:
  std::shared_ptr<char> token_;
};

// Any thread. The task runs later on the GUI thread, in the order posted.
void PostToGUI(Task task);
// Any thread, while owner exists; the task is dropped if owner is gone when its turn comes.
void PostToGUI(const Lifetime& owner, Task task);

// GUI thread: runs the tasks posted so far; returns how many ran.
size_t RunPostedTasks();

// Headless GUI thread: waits until a task is posted (or timeout); true when one is waiting.
bool WaitForPostedTasks(std::chrono::milliseconds timeout);

// Headless GUI thread: runs posted tasks until done() holds or timeout passes; returns done().
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// The window binding's wake-up, called (from the posting thread) when the queue stops
// being empty. Set once by the GUI thread before any worker starts; null to remove.
void SetWakeUp(std::function<void()> wakeUp);

}  // namespace kvx::ui
