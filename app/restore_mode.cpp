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

struct RestoreCount {
  int archives = 0;
  int failed = 0;
};

// Extracts one archive into its data folder and, only when every member came out,
// brings that folder to the current file structure. False when either failed; a
// failed extraction has named the archive through the extraction's error messages.
bool RestoreArchive(HostBridge& host, const std::string& archive, const std::string& dataFolder) {
  std::error_code ignored;
  std::filesystem::create_directories(NativePath(dataFolder), ignored);
  if (!UnzipArchive(host, archive, dataFolder, "*.*")) return false;
  if (RunAndWaitForSuccess(host, "WDMODFIC.EXE", "-error -nobackup /WDD=\"GELDOR.WDD\" /DIR=\"" + dataFolder + "\""))
    return true;
  host.Command("ERREUR,La mise \xE0 jour des fichiers de " + dataFolder + " par WDMODFIC.EXE a \xE9" "chou\xE9.");
  return false;
}

// Restores every archive of the folder into a data folder named after the archive's
// first eight characters.
RestoreCount RestoreAllArchives(HostBridge& host, const std::string& archiveFolder, const std::string& dataRoot) {
  RestoreCount count;
  FileSearch search;
  FileSearchRecord entry;
  for (bool found = search.First(archiveFolder + "\\*.zip", kAttrAnyFile, entry); found; found = search.Next(entry)) {
    if (entry.Attributes & kAttrDirectory) continue;
    ++count.archives;
    const std::string dataFolder = dataRoot + "\\" + entry.Name.substr(0, kDataFolderNameLength);
    if (!RestoreArchive(host, archiveFolder + "\\" + entry.Name, dataFolder)) ++count.failed;
  }
  return count;
}

std::string ClosingMessage(const RestoreCount& count) {
  if (count.failed == 0) return kFoldersCreated;
  return "ERREUR,Restauration incompl\xE8te : " + std::to_string(count.failed) + " archive(s) sur " +
         std::to_string(count.archives) + " n'ont pas pu \xEAtre restaur\xE9" "es.";
}

}  // namespace

ActionOutcome RunRestoreMode(HostBridge& host, const std::vector<std::string>& args, int& exitCode) {
  if (args.size() != 3) {
    host.Command(kUsage);
    return ActionOutcome::Continue;
  }
  const RestoreCount count = RestoreAllArchives(host, args[1], args[2]);
  host.Command(ClosingMessage(count));
  host.Command("FERME");
  host.End();
  exitCode = count.failed == 0 ? 0 : 1;
  return ActionOutcome::EndProgram;
}

}  // namespace kvx
