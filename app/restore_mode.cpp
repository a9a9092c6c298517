#include "app/restore_mode.h"

#include <filesystem>
#include <system_error>

#include "archive/archive_procedures.h"
#include "base/file_search.h"
#include "host/host_bridge.h"
#include "host/system_helpers.h"

namespace kvx {
namespace {

constexpr char kUsage[] =
    "INFO, Le Param\xE8tre Restaure s'utilise de la fa\xE7on suivant: KVXRESTAURE CheminDossierDesZip CheminDesBases";
constexpr char kFoldersCreated[] = "INFO, Dossiers cr\xE9\xE9s avec succ\xE8s.";
constexpr size_t kDataFolderNameLength = 8;

// Extracts every archive of the folder into a data folder named after the archive's
// first eight characters, then brings that folder to the current file structure.
void RestoreAllArchives(const std::string& archiveFolder, const std::string& dataRoot) {
  FileSearch search;
  FileSearchRecord entry;
  for (bool found = search.First(archiveFolder + "\\*.zip", kAttrAnyFile, entry); found; found = search.Next(entry)) {
    if (entry.Attributes & kAttrDirectory) continue;
    const std::string dataFolder = dataRoot + "\\" + entry.Name.substr(0, kDataFolderNameLength);
    std::error_code ignored;
    std::filesystem::create_directories(NativePath(dataFolder), ignored);
    UnzipArchive(archiveFolder + "\\" + entry.Name, dataFolder, "*.*");
    RunAndWait("WDMODFIC.EXE", "-error -nobackup /WDD=\"GELDOR.WDD\" /DIR=\"" + dataFolder + "\"");
  }
}

}  // namespace

ActionOutcome RunRestoreMode(const std::vector<std::string>& args) {
  if (args.size() != 3) {
    HostCommand(kUsage);
    return ActionOutcome::Continue;
  }
  RestoreAllArchives(args[1], args[2]);
  HostCommand(kFoldersCreated);
  HostCommand("FERME");
  HostEnd();
  return ActionOutcome::EndProgram;
}

}  // namespace kvx
