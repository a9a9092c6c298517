#include "ui/text_controls.h"

namespace kvx::ui {

void Edit::SetText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  Changed(Property::Text);
  if (OnChange) OnChange();
}

void Memo::AddLine(std::string line) {
  lines_.push_back(std::move(line));
  Changed(Property::Lines);
}

void Memo::Clear() {
  lines_.clear();
  Changed(Property::Lines);
}

}  // namespace kvx::ui
