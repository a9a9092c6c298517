// Headless mode: forms run their handlers on state alone, with no window. A modal show
// hands the form to a driver supplied by the test, which plays the user (presses
// buttons, picks entries) and returns; dialogs take their answers from a script.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/dialogs.h"
#include "ui/form.h"

namespace kvx::ui {

class Button;

using ModalDriver = std::function<void(Form&)>;

// Answers dialogs from a queue of scripted answers and writes one transcript line per
// dialog: "CONFIRM text", "INFO text", "OPEN dir|file|filter|ext", "SAVE ...",
// "BROWSE title|root", "SHOW-FOLDER folder". A dialog with no fitting answer left gets No or Cancel and the
// line "UNANSWERED" after its own.
class ScriptedDialogs final : public Dialogs {
 public:
  void AnswerYes() { Queue(Kind::Confirm, "1"); }
  void AnswerNo() { Queue(Kind::Confirm, std::nullopt); }
  void AnswerFile(std::string path) { Queue(Kind::File, std::move(path)); }
  void CancelFile() { Queue(Kind::File, std::nullopt); }
  void AnswerFolder(std::string path) { Queue(Kind::Folder, std::move(path)); }
  void CancelFolder() { Queue(Kind::Folder, std::nullopt); }

  const std::vector<std::string>& Transcript() const { return transcript_; }
  void ClearTranscript() { transcript_.clear(); }
  bool AllAnswered() const { return answers_.empty(); }

  bool Confirm(const std::string& text) override;
  void Inform(const std::string& text) override;
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override;
  std::optional<std::string> BrowseFolder(const std::string& title, const std::string& root) override;
  void ShowFolder(const std::string& folder) override { transcript_.push_back("SHOW-FOLDER " + folder); }

 private:
  enum class Kind { Confirm, File, Folder };
  struct Answer {
    Kind kind;
    std::optional<std::string> value;
  };
  void Queue(Kind kind, std::optional<std::string> value) { answers_.push_back({kind, std::move(value)}); }
  std::optional<std::string> Take(Kind kind);

  std::deque<Answer> answers_;
  std::vector<std::string> transcript_;
};

class HeadlessPresenter final : public Presenter {
 public:
  explicit HeadlessPresenter(Dialogs& dialogs) : dialogs_(dialogs) {}

  // Every modal show from now on goes to driver; with none, a modal show ends at once.
  void SetDriver(ModalDriver driver) { driver_ = std::move(driver); }

  // The drives forms see from now on, instead of the system's.
  void SetDrives(std::vector<DriveInfo> drives) { drives_ = std::move(drives); }

  void RunModal(Form& form) override;
  void Show(Form&) override {}
  void Hide(Form&) override {}
  Dialogs& GetDialogs() override { return dialogs_; }
  std::vector<DriveInfo> Drives() override { return drives_ ? *drives_ : SystemDrives(); }

 private:
  Dialogs& dialogs_;
  ModalDriver driver_;
  std::optional<std::vector<DriveInfo>> drives_;
};

// Headless mode with scripted dialogs for the session's lifetime; the presenter that
// was current before comes back at its end.
class HeadlessSession {
 public:
  HeadlessSession();
  ~HeadlessSession();
  HeadlessSession(const HeadlessSession&) = delete;
  HeadlessSession& operator=(const HeadlessSession&) = delete;

  ScriptedDialogs& Dialogs() { return dialogs_; }
  void SetDriver(ModalDriver driver) { presenter_.SetDriver(std::move(driver)); }
  void SetDrives(std::vector<DriveInfo> drives) { presenter_.SetDrives(std::move(drives)); }

 private:
  ScriptedDialogs dialogs_;
  HeadlessPresenter presenter_{dialogs_};
  Presenter* previous_;
};

// Presses a button as a user can: only when it is showing and enabled. True when pressed.
bool Press(Button& button);

}  // namespace kvx::ui
