#include "wizard/restore_steps.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "archive/archive_procedures.h"
#include "base/ascii_case.h"
#include "base/cp1252.h"
#include "base/file_search.h"
#include "base/folder_scan.h"
#include "base/folders.h"
#include "host/text_helpers.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

constexpr char kStagingFolder[] = "KVXREST.$$$";

// YYMMDDNN.ZIP, the name safety copies take.
bool IsSafetyCopy(const std::string& name) {
  if (name.size() != 12 || AsciiUpper(name.substr(8)) != ".ZIP") return false;
  for (size_t i = 0; i < 8; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

// A list file in the temporary folder naming every entry of the (current) data folder
// worth keeping; empty when it cannot be written.
std::string WriteWholeFolderList(const std::string& dataFolder) {
  std::error_code error;
  const fs::path list = fs::temp_directory_path(error) / "KVXSAUVE.LST";
  if (error) return {};
  std::ofstream out(list, std::ios::binary | std::ios::trunc);
  ScanFolder(dataFolder, [&](const FolderEntry& entry) {
    if (!IsSafetyCopy(entry.name) && entry.name != kStagingFolder) out << entry.name << "\r\n";
    return true;
  });
  out.close();
  if (!out) return {};
  return Utf16ToCp1252(list.u16string());
}

// Moves the content of one folder into another, replacing files and merging folders.
bool MoveContent(const fs::path& from, const fs::path& to) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(from, error)) {
    const fs::path target = to / entry.path().filename();
    if (entry.is_directory() && fs::is_directory(target)) {
      if (!MoveContent(entry.path(), target)) return false;
      continue;
    }
    if (fs::exists(target)) fs::permissions(target, fs::perms::owner_write, fs::perm_options::add, error);
    fs::rename(entry.path(), target, error);
    if (error) return false;
  }
  return !error;
}

}  // namespace

std::string NextSafetyCopyName(const std::string& dataFolder, const std::string& dateStamp) {
  const std::string day = dateStamp.substr(2, 6);
  for (int counter = 1;; ++counter) {
    const std::string name = day + ZeroPad(counter, 2);
    if (!FileExists(dataFolder + name + ".ZIP")) return name;
  }
}

bool MakeSafetyCopy(const std::string& dataFolder) {
  const std::string archive = dataFolder + NextSafetyCopyName(dataFolder, DateStamp(false)) + ".ZIP";
  CurrentFolderGuard keep;
  if (!SetCurrentFolder(dataFolder)) return false;
  const std::string ownList = dataFolder + "PATSAUVE.DTA";
  if (FileExists(ownList)) return ZipArchive(archive, "@" + ownList, 0, false);

  const std::string wholeFolder = WriteWholeFolderList(dataFolder);
  if (wholeFolder.empty()) return false;
  const bool archived = ZipArchive(archive, "@" + wholeFolder, 0, true);
  std::error_code error;
  fs::remove(NativePath(wholeFolder), error);
  return archived;
}

bool ExtractIntoDataFolder(const std::string& archive, const std::string& dataFolder) {
  const fs::path staging = NativePath(dataFolder + kStagingFolder);
  std::error_code error;
  fs::remove_all(staging, error);
  if (!fs::create_directory(staging, error)) return false;
  const bool extracted = UnzipArchive(archive, dataFolder + kStagingFolder, "*.*");
  const bool moved = extracted && MoveContent(staging, NativePath(dataFolder));
  fs::remove_all(staging, error);
  return moved;
}

}  // namespace kvx
