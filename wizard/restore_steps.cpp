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

constexpr char kWorkPrefix[] = "KVXR";
constexpr char kWorkSuffix[] = ".$$$";

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// YYMMDDNN.ZIP, the name safety copies take.
bool IsSafetyCopy(const std::string& name) {
  return name.size() == 12 && ASCIIUpper(name.substr(8)) == ".ZIP" && AllDigits(name.substr(0, 8));
}

// KVXRnnnn.$$$, a restore's work folder (one left by an interrupted restore holds data).
bool IsWorkFolder(const std::string& name) {
  return name.size() == 12 && ASCIIUpper(name.substr(0, 4)) == kWorkPrefix && name.substr(8) == kWorkSuffix &&
         AllDigits(name.substr(4, 4));
}

// A list file in the temporary folder naming every entry of the (current) data folder
// worth keeping; empty when it cannot be written.
std::string WriteWholeFolderList(const std::string& dataFolder) {
  std::error_code error;
  const fs::path list = fs::temp_directory_path(error) / "KVXSAUVE.LST";
  if (error) return {};
  std::ofstream out(list, std::ios::binary | std::ios::trunc);
  ScanFolder(dataFolder, [&](const FolderEntry& entry) {
    if (!IsSafetyCopy(entry.name) && !IsWorkFolder(entry.name)) out << entry.name << "\r\n";
    return true;
  });
  out.close();
  if (!out) return {};
  return UTF16ToCP1252(list.u16string());
}

bool ZipDataFolder(HostBridge& host, const std::string& dataFolder, const std::string& archive) {
  CurrentFolderGuard keep;
  if (!SetCurrentFolder(dataFolder)) return false;
  const std::string ownList = dataFolder + "PATSAUVE.DTA";
  if (FileExists(ownList)) return ZipArchive(host, archive, "@" + ownList, 0, false);

  const std::string wholeFolder = WriteWholeFolderList(dataFolder);
  if (wholeFolder.empty()) return false;
  const bool archived = ZipArchive(host, archive, "@" + wholeFolder, 0, true);
  std::error_code error;
  fs::remove(NativePath(wholeFolder), error);
  return archived;
}

// A work folder of its own: never one that another restore, running or interrupted, holds.
std::string CreateWorkFolder(const std::string& dataFolder) {
  for (int number = 1; number <= 9999; ++number) {
    const std::string name = dataFolder + kWorkPrefix + ZeroPad(number, 4) + kWorkSuffix;
    std::error_code error;
    if (fs::create_directory(NativePath(name), error)) return name + "\\";
    if (!fs::exists(NativePath(name), error)) return {};
  }
  return {};
}

}  // namespace

std::string NextSafetyCopyName(const std::string& dataFolder, const std::string& dateStamp) {
  const std::string day = dateStamp.substr(2, 6);
  for (int counter = 1;; ++counter) {
    const std::string name = day + ZeroPad(counter, 2);
    if (!FileExists(dataFolder + name + ".ZIP")) return name;
  }
}

SafetyCopy MakeSafetyCopy(HostBridge& host, const std::string& dataFolder) {
  const std::string archive = dataFolder + NextSafetyCopyName(dataFolder, DateStamp(false)) + ".ZIP";
  std::string failure;
  if (!ZipDataFolder(host, dataFolder, archive))
    failure = "La copie de s\xE9" "curit\xE9 " + archive + " n'a pas pu \xEA" "tre faite.";
  else if (!TestArchive(host, archive)) failure = "La copie de s\xE9" "curit\xE9 " + archive + " est illisible.";
  if (failure.empty()) return {archive, {}};
  std::error_code error;
  fs::remove(NativePath(archive), error);
  return {{}, failure};
}

StagedRestore::StagedRestore(std::string dataFolder) : dataFolder_(std::move(dataFolder)) {
  work_ = CreateWorkFolder(dataFolder_);
  if (!work_.empty()) incoming_ = work_ + "NEW\\";
}

StagedRestore::~StagedRestore() {
  if (work_.empty() || keep_) return;
  std::error_code error;
  fs::remove_all(NativePath(work_), error);
}

bool StagedRestore::Extract(HostBridge& host, const std::string& archive) {
  std::error_code error;
  if (incoming_.empty() || !fs::create_directory(NativePath(incoming_), error)) return false;
  return UnzipArchive(host, archive, incoming_, "*.*");
}

SwitchOutcome StagedRestore::Switch() {
  const SwitchOutcome outcome = SwitchFolders(NativePath(incoming_), NativePath(dataFolder_), NativePath(work_ + "OLD"));
  keep_ = outcome == SwitchOutcome::Mixed;
  return outcome;
}

}  // namespace kvx
