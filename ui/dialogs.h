// The dialogs a form asks through one interface: native dialogs with real windows,
// scripted answers in tests (headless.h).
#pragma once

#include <optional>
#include <string>

namespace kvx::ui {

struct FileDialogRequest {
  bool save = false;
  std::string title;
  std::string fileName;
  std::string filter;  // "Description|*.ext|Description|*.*"
  std::string defaultExt;
  std::string initialDir;
  bool hideReadOnly = false;
  bool resizable = false;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A confirmation with the buttons Yes and No; true for Yes.
  virtual bool Confirm(const std::string& text) = 0;
  // An information box with one OK button.
  virtual void Inform(const std::string& text) = 0;
  // The chosen file's full path, or nothing when cancelled.
  virtual std::optional<std::string> ChooseFile(const FileDialogRequest& request) = 0;
  // The chosen folder, or nothing when cancelled.
  virtual std::optional<std::string> BrowseFolder(const std::string& title, const std::string& root) = 0;
  // Opens a folder's window in the desktop shell.
  virtual void ShowFolder(const std::string& folder) = 0;
};

// The dialogs of the current presentation (form.h).
bool Confirm(const std::string& text);
void ShowMessage(const std::string& text);
std::optional<std::string> BrowseFolder(const std::string& title, const std::string& root);
void ShowFolder(const std::string& folder);

}  // namespace kvx::ui
