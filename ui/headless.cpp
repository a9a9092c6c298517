#include "ui/headless.h"

#include "ui/buttons.h"

namespace kvx::ui {

std::optional<std::string> ScriptedDialogs::Take(Kind kind) {
  if (answers_.empty() || answers_.front().kind != kind) {
    transcript_.push_back("UNANSWERED");
    return std::nullopt;
  }
  std::optional<std::string> value = std::move(answers_.front().value);
  answers_.pop_front();
  return value;
}

bool ScriptedDialogs::Confirm(const std::string& text) {
  transcript_.push_back("CONFIRM " + text);
  return Take(Kind::Confirm).has_value();
}

void ScriptedDialogs::Inform(const std::string& text) { transcript_.push_back("INFO " + text); }

std::optional<std::string> ScriptedDialogs::ChooseFile(const FileDialogRequest& request) {
  transcript_.push_back(std::string(request.save ? "SAVE " : "OPEN ") + request.initialDir + "|" + request.fileName +
                        "|" + request.filter + "|" + request.defaultExt);
  return Take(Kind::File);
}

std::optional<std::string> ScriptedDialogs::BrowseFolder(const std::string& title, const std::string& root) {
  transcript_.push_back("BROWSE " + title + "|" + root);
  return Take(Kind::Folder);
}

void HeadlessPresenter::RunModal(Form& form) {
  if (driver_) driver_(form);
}

HeadlessSession::HeadlessSession() : previous_(SetPresenter(&presenter_)) {}

HeadlessSession::~HeadlessSession() { SetPresenter(previous_); }

bool Press(Button& button) {
  if (!button.Showing() || !button.Enabled()) return false;
  button.Click();
  return true;
}

}  // namespace kvx::ui
