#include "ui/components.h"

#include "ui/form.h"

namespace kvx::ui {

Timer::Timer(Form* owner, std::string name) : Component(owner, std::move(name)) { owner->AddComponent(this); }

void Timer::SetInterval(int milliseconds) {
  interval_ = milliseconds;
  Changed(Property::Active);
}

void Timer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Changed(Property::Active);
}

PopupMenu::PopupMenu(Form* owner, std::string name) : Component(owner, std::move(name)) { owner->AddComponent(this); }

void PopupMenu::AddItem(std::string caption, std::function<void()> onClick, bool isDefault) {
  items_.push_back({std::move(caption), isDefault, std::move(onClick)});
}

FileDialog::FileDialog(Form* owner, std::string name, bool save) : Component(owner, std::move(name)) {
  request_.save = save;
  owner->AddComponent(this);
}

bool FileDialog::Execute() {
  auto chosen = CurrentPresenter().GetDialogs().ChooseFile(request_);
  if (!chosen) return false;
  request_.fileName = std::move(*chosen);
  return true;
}

bool Confirm(const std::string& text) { return CurrentPresenter().GetDialogs().Confirm(text); }

void ShowMessage(const std::string& text) { CurrentPresenter().GetDialogs().Inform(text); }

std::optional<std::string> BrowseFolder(const std::string& title, const std::string& root) {
  return CurrentPresenter().GetDialogs().BrowseFolder(title, root);
}

void ShowFolder(const std::string& folder) { CurrentPresenter().GetDialogs().ShowFolder(folder); }

}  // namespace kvx::ui
