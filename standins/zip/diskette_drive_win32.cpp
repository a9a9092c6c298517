#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "base/win32_scope.h"
#include "standins/zip/diskette_drive.h"

namespace kvxzip {
namespace {

constexpr char kCaption[] = "Disquettes";

std::string Environment(const char* name) {
  char value[1024];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

std::string DriveRoot(const std::string& path) {
  char full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  if (length < 2 || length >= sizeof full || full[1] != ':') return {};
  return {full[0], ':', '\\'};
}

// Runs the command line through the command interpreter; true when it exits with 0.
bool RunCommand(const std::string& line) {
  std::string command = "cmd /c " + line;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &process))
    return false;
  const kvx::win32::ScopedHandle thread(process.hThread), program(process.hProcess);
  WaitForSingleObject(program.get(), INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(program.get(), &code);
  return code == 0;
}

void ForEachEntry(const std::string& folder, const std::function<void(const WIN32_FIND_DATAA&)>& visit) {
  WIN32_FIND_DATAA entry;
  const kvx::win32::ScopedFind find(FindFirstFileA((folder + "*").c_str(), &entry));
  if (!find) return;
  do {
    if (std::strcmp(entry.cFileName, ".") != 0 && std::strcmp(entry.cFileName, "..") != 0) visit(entry);
  } while (FindNextFileA(find.get(), &entry));
}

bool IsFolder(const WIN32_FIND_DATAA& entry) { return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

bool RemoveEntry(const std::string& path, bool folder);

// A folder goes with everything in it.
bool RemoveTree(const std::string& folder) {
  bool removed = true;
  ForEachEntry(folder + "\\", [&](const WIN32_FIND_DATAA& entry) {
    removed = RemoveEntry(folder + "\\" + entry.cFileName, IsFolder(entry)) && removed;
  });
  return RemoveDirectoryA(folder.c_str()) && removed;
}

bool RemoveEntry(const std::string& path, bool folder) {
  SetFileAttributesA(path.c_str(), folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL);
  return folder ? RemoveTree(path) : DeleteFileA(path.c_str()) != 0;
}

class WindowsDiskette final : public DisketteDrive {
 public:
  explicit WindowsDiskette(std::string root) : root_(std::move(root)) {}

  // The command of KVXZIP_DISK_CHANGE answers for the person when it is set.
  bool Ask(DisketteQuestion question, uint32_t volume) override {
    const bool insert = question == DisketteQuestion::Insert;
    const std::string command = Environment("KVXZIP_DISK_CHANGE");
    const bool last = volume == kLastDiskette;
    const std::string number = last ? std::string("last") : std::to_string(volume);
    if (!command.empty()) return RunCommand(command + (insert ? " insert " : " erase ") + number);
    const std::string drive = root_.substr(0, 2);
    const std::string diskette = last ? "la dernière disquette de la sauvegarde" : "la disquette n° " + number;
    const std::string text =
        insert ? "Insérez " + diskette + " dans le lecteur " + drive + " puis cliquez sur OK."
               : "La disquette n° " + number + " du lecteur " + drive +
                     " n'est pas vide : son contenu va être effacé.\r\nCliquez sur OK pour l'effacer, sur Annuler "
                     "pour arrêter la sauvegarde.";
    const UINT icon = insert ? MB_ICONINFORMATION : MB_ICONWARNING;
    return MessageBoxA(nullptr, text.c_str(), kCaption, MB_OKCANCEL | icon | MB_TASKMODAL | MB_SETFOREGROUND) == IDOK;
  }

  // KVXZIP_VOLUME_SIZE stands for the free space when it is set.
  std::optional<uint64_t> Room() override {
    const UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS);  // no system box for an empty drive
    ULARGE_INTEGER free{};
    const bool ready = GetDiskFreeSpaceExA(root_.c_str(), &free, nullptr, nullptr) != 0;
    SetErrorMode(mode);
    if (!ready) return std::nullopt;
    const std::string size = Environment("KVXZIP_VOLUME_SIZE");
    return size.empty() ? free.QuadPart : std::strtoull(size.c_str(), nullptr, 10);
  }

  bool HasContent(uint16_t multiVolumeWord) override {
    bool found = false;
    ForEachEntry(root_, [&](const WIN32_FIND_DATAA& entry) { found = found || Erasable(entry, multiVolumeWord); });
    return found;
  }

  bool Empty(uint16_t multiVolumeWord) override {
    bool emptied = true;
    ForEachEntry(root_, [&](const WIN32_FIND_DATAA& entry) {
      if (Erasable(entry, multiVolumeWord))
        emptied = RemoveEntry(root_ + entry.cFileName, IsFolder(entry)) && emptied;
    });
    return emptied;
  }

 private:
  // Files; folders only with MV_SUBDIR; system and hidden entries only with MV_SYSHIDE.
  static bool Erasable(const WIN32_FIND_DATAA& entry, uint16_t multiVolumeWord) {
    const bool concealed = (entry.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    if (concealed && !(multiVolumeWord & kMultiVolumeSystemHidden)) return false;
    return !IsFolder(entry) || (multiVolumeWord & kMultiVolumeSubfolders);
  }

  const std::string root_;
};

}  // namespace

std::unique_ptr<DisketteDrive> RemovableDriveOf(const std::string& path) {
  const std::string root = DriveRoot(path);
  if (root.empty() || GetDriveTypeA(root.c_str()) != DRIVE_REMOVABLE) return nullptr;
  return std::make_unique<WindowsDiskette>(root);
}

}  // namespace kvxzip
