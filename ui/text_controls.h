// Controls that show or take text: labels, one-line edits and the multi-line memo.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/control.h"

namespace kvx::ui {

class Label : public Control {
 public:
  Label(Container* parent, std::string name) : Control(parent, std::move(name), ControlKind::Label) {}
};

class Edit : public Control {
 public:
  Edit(Container* parent, std::string name) : Control(parent, std::move(name), ControlKind::Edit) {}

  const std::string& Text() const { return text_; }
  // Runs OnChange when the text changes, whoever changes it.
  void SetText(std::string text);

  std::function<void()> OnChange;

 private:
  std::string text_;
};

class Memo : public Control {
 public:
  Memo(Container* parent, std::string name) : Control(parent, std::move(name), ControlKind::Memo) {}

  const std::vector<std::string>& Lines() const { return lines_; }
  void AddLine(std::string line);
  void Clear();

  bool VerticalScrollBar() const { return verticalScrollBar_; }
  void SetVerticalScrollBar(bool on) { verticalScrollBar_ = on; }

 private:
  std::vector<std::string> lines_;
  bool verticalScrollBar_ = false;
};

}  // namespace kvx::ui
