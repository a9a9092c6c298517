#include "app/restore_mode.h"

#include <filesystem>
#include <map>
#include <system_error>

#include "archive/restore_procedure.h"
#include "base/ascii_case.h"
#include "base/exception_text.h"
#include "base/file_search.h"
#include "base/folders.h"
#include "host/host_bridge.h"
#include "host/kvx_application.h"
#include "wizard/wizard_paths.h"

namespace kvx {
namespace {

constexpr size_t kDataFolderNameLength = 8;

struct RestoreCount {
  int archives = 0;
  int failed = 0;
};

bool FolderHasEntries(const std::string& folder) {
  std::error_code error;
  return !std::filesystem::is_empty(NativePath(folder), error) && !error;
}

// Restores one archive into its data folder (made when missing) and brings that folder to
// the current file structure. False when either failed, told to the person here: the zip
// library's own messages may be missing or say less (an archive with no member, a file
// that reads back wrong), and until the converter the folder is as it was.
bool RestoreArchive(HostBridge& host, const std::string& archive, const std::string& dataFolder) {
  if (FolderHasEntries(dataFolder) && VolmeraRuns()) {  // a folder the application may be using
    host.Error("Impossible de restaurer la base de données " + dataFolder + " si Volmera est ouvert");
    return false;
  }
  std::error_code ignored;
  std::filesystem::create_directories(NativePath(dataFolder), ignored);
  RestoreRequest request;
  request.archive = archive;
  request.dataFolder = dataFolder + "\\";
  request.programFolder = ProgramFolder();  // the journal's place, wherever the run was started from
  request.safetyCopy = FolderHasEntries(dataFolder);  // a folder restored before keeps its earlier data
  request.converters = {{"WDMODFIC.EXE", DataFileUpdateArguments(dataFolder, DataFileUpdate::kAfterRestore)}};
  const RestoreOutcome outcome = RunRestore(host, request);
  switch (outcome.failedAt) {
    case RestoreStage::None:
      return true;
    case RestoreStage::Converter:
      host.Error("La mise à jour des fichiers de " + dataFolder + " par WDMODFIC.EXE a échoué.");
      return false;
    default:
      host.Error(outcome.message);
      return false;
  }
}

// An archive whose restore ends in an exception is told and counted as failed; the next
// ones are still restored.
bool RestoreArchiveTold(HostBridge& host, const std::string& archive, const std::string& dataFolder) {
  try {
    return RestoreArchive(host, archive, dataFolder);
  } catch (...) {
    host.Error("L'archive " + archive + " n'a pas été restaurée : " + CurrentExceptionText());
    return false;
  }
}

// Restores every archive of the folder into a data folder named after the archive's
// first eight characters; an archive whose folder another one of this pass took is refused.
RestoreCount RestoreAllArchives(HostBridge& host, const std::string& archiveFolder, const std::string& dataRoot) {
  RestoreCount count;
  std::map<std::string, std::string> taken;  // data folder in capitals -> the archive restored there
  FileSearch search;
  FileSearchRecord entry;
  for (bool found = search.First(archiveFolder + "\\*.zip", kAttrAnyFile, entry); found; found = search.Next(entry)) {
    if (entry.Attributes & kAttrDirectory) continue;
    ++count.archives;
    const std::string folderName = entry.Name.substr(0, kDataFolderNameLength);
    const std::string dataFolder = dataRoot + "\\" + folderName;
    const auto [first, isNew] = taken.emplace(ASCIIUpper(folderName), entry.Name);
    if (!isNew) {
      host.Error("L'archive " + entry.Name + " n'a pas été restaurée : le dossier " + dataFolder +
                 " reçoit déjà l'archive " + first->second + ".");
      ++count.failed;
      continue;
    }
    if (!RestoreArchiveTold(host, archiveFolder + "\\" + entry.Name, dataFolder)) ++count.failed;
  }
  return count;
}

void TellOutcome(HostBridge& host, const RestoreCount& count, const std::string& archiveFolder) {
  if (count.archives == 0)
    host.Error("Aucune archive .zip dans " + archiveFolder + " : aucun dossier n'a été créé.");
  else if (count.failed == 0)
    host.Info(" Dossiers créés avec succès.", VerbCase::kUpper);
  else
    host.Error("Restauration incomplète : " + std::to_string(count.failed) + " archive(s) sur " +
               std::to_string(count.archives) + " n'ont pas pu être restaurées.");
}

}  // namespace

ActionOutcome RunRestoreMode(HostBridge& host, const std::vector<std::string>& args, int& exitCode) {
  if (args.size() != 3) {
    host.Info(" Le Paramètre Restaure s'utilise de la façon suivant: KVXRESTAURE CheminDossierDesZip CheminDesBases",
              VerbCase::kUpper);
    return ActionOutcome::Continue;
  }
  const RestoreCount count = RestoreAllArchives(host, args[1], args[2]);
  TellOutcome(host, count, args[1]);
  host.CloseWindow();
  host.End();
  exitCode = count.failed == 0 && count.archives > 0 ? 0 : 1;
  return ActionOutcome::EndProgram;
}

}  // namespace kvx
