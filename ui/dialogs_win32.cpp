// Native dialogs: message boxes, the common open/save dialogs and the shell's folder browser.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "base/win32_scope.h"
#include "ui/dialogs.h"
#include "ui/peers_win32.h"

namespace kvx::ui {
namespace {

// Title of the information box: the program's name without folder and extension.
std::wstring ProgramTitle() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring title = path;
  title = title.substr(title.find_last_of(L"\\/") + 1);
  return title.substr(0, title.find_last_of(L'.'));
}

// "A|*.a|B|*.*" as the dialog wants it: NUL-separated pairs ended by a double NUL.
std::wstring FilterList(const std::string& filter) {
  std::wstring list = Wide(filter);
  for (wchar_t& c : list)
    if (c == L'|') c = L'\0';
  list.append(2, L'\0');
  return list;
}

class SystemDialogs final : public Dialogs {
 public:
  bool Confirm(const std::string& text) override {
    return MessageBoxW(GetActiveWindow(), Wide(text).c_str(), L"Confirmation", MB_YESNO | MB_ICONQUESTION) == IDYES;
  }

  void Inform(const std::string& text) override {
    MessageBoxW(GetActiveWindow(), Wide(text).c_str(), ProgramTitle().c_str(), MB_OK);
  }

  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
    std::vector<wchar_t> file(MAX_PATH * 4, L'\0');
    const std::wstring name = Wide(request.fileName);
    name.copy(file.data(), file.size() - 1);
    const std::wstring filter = FilterList(request.filter);
    const std::wstring title = Wide(request.title);
    const std::wstring ext = Wide(request.defaultExt);
    const std::wstring folder = Wide(request.initialDir);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = GetActiveWindow();
    dialog.lpstrFilter = request.filter.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
    dialog.Flags = OFN_EXPLORER | (request.hideReadOnly ? OFN_HIDEREADONLY : 0) | (request.resizable ? OFN_ENABLESIZING : 0);
    const BOOL chosen = request.save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen) return std::nullopt;
    return Narrow(file.data());
  }

  std::optional<std::string> BrowseFolder(const std::string& title, const std::string& root) override {
    const std::wstring caption = Wide(title);
    win32::ScopedCoTaskMem<PIDLIST_ABSOLUTE> rootList;
    SHParseDisplayName(Wide(root).c_str(), nullptr, rootList.put(), 0, nullptr);
    BROWSEINFOW browse{};
    browse.hwndOwner = GetActiveWindow();
    browse.pidlRoot = rootList.get();
    browse.lpszTitle = caption.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    const win32::ScopedCoTaskMem<PIDLIST_ABSOLUTE> chosen(SHBrowseForFolderW(&browse));
    wchar_t path[MAX_PATH] = {};
    if (chosen && SHGetPathFromIDListW(chosen.get(), path)) return Narrow(path);
    return std::nullopt;
  }

  void ShowFolder(const std::string& folder) override {
    ShellExecuteW(GetActiveWindow(), L"Open", Wide(folder).c_str(), L" ", L"./", SW_SHOWNORMAL);
  }
};

}  // namespace

Dialogs& NativeDialogs() {
  static SystemDialogs dialogs;
  return dialogs;
}

}  // namespace kvx::ui
