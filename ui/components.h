// Non-visual parts of a form: timers, context menus and the open/save dialogs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/component.h"
#include "ui/dialogs.h"

namespace kvx::ui {

// Runs OnTimer every Interval milliseconds while enabled and its form has windows;
// headless, Tick stands for one period.
class Timer : public Component {
 public:
  Timer(Form* owner, std::string name);

  int Interval() const { return interval_; }
  void SetInterval(int milliseconds);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  void Tick() {
    if (enabled_ && OnTimer) OnTimer();
  }

  std::function<void()> OnTimer;

 private:
  int interval_ = 1000;
  bool enabled_ = false;
};

struct MenuItem {
  std::string caption;  // "-" for a separator
  bool isDefault = false;
  std::function<void()> onClick;

  bool IsSeparator() const { return caption == "-"; }
  void Click() const {
    if (onClick) onClick();
  }
};

class PopupMenu : public Component {
 public:
  PopupMenu(Form* owner, std::string name);

  void AddItem(std::string caption, std::function<void()> onClick = {}, bool isDefault = false);
  void AddSeparator() { AddItem("-"); }
  const std::vector<MenuItem>& Items() const { return items_; }

 private:
  std::vector<MenuItem> items_;
};

// The open or save dialog with its settings; Execute asks the current dialogs.
class FileDialog : public Component {
 public:
  FileDialog(Form* owner, std::string name, bool save);

  FileDialogRequest& Settings() { return request_; }
  const std::string& FileName() const { return request_.fileName; }
  // True when the user chose a file, which becomes FileName.
  bool Execute();

 private:
  FileDialogRequest request_;
};

}  // namespace kvx::ui
