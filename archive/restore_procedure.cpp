#include "archive/restore_procedure.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>

#include "archive/archive_members.h"
#include "archive/archive_procedures.h"
#include "archive/folder_switch.h"
#include "archive/restore_journal.h"
#include "base/ascii_case.h"
#include "base/cp1252.h"
#include "base/disk_flush.h"
#include "base/file_search.h"
#include "base/folder_scan.h"
#include "base/folders.h"
#include "base/tree_removal.h"
#include "host/system_helpers.h"
#include "host/text_helpers.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

constexpr char kWorkPrefix[] = "KVXR";
constexpr char kWorkSuffix[] = ".$$$";

bool JournalLeft(const std::string& programFolder, std::string& message) {
  const std::string path = JournalPath(programFolder);
  if (!FileExists(path)) return false;
  message = "Une autre restauration n'est pas terminée (journal " + path +
            ") : relancez l'outil pour qu'il la termine avant toute restauration.";
  return true;
}

bool PathExists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(NativePath(path), error));
}

// Removes a work folder or a safety copy: read-only entries too, links as links (never
// what they point to). False with the first failure's path and reason.
bool RemoveTree(const std::string& path, std::string& error) {
  return path.empty() || RemoveTreeNoFollow(NativePath(path), error);
}

// Ends the process abruptly after the Nth step when KVXRESTORE_STOP_AFTER=N: no clean-up,
// no destructor, as a power cut would leave things (for the tests of the journal).
class StopSeam {
 public:
  StopSeam() {
    const char* value = std::getenv("KVXRESTORE_STOP_AFTER");
    stopAfter_ = value ? std::atoi(value) : 0;
  }
  void Step() {
    if (++steps_ == stopAfter_) std::_Exit(kStoppedExitCode);
  }
  static constexpr int kStoppedExitCode = 86;

 private:
  int stopAfter_ = 0;
  int steps_ = 0;
};

// A list file of this run's own in the temporary folder, named by the process id and a
// counter, created only where nothing lies yet: another toolbox's list of the same moment,
// or one a stopped run left, is never written over. Empty when none can be made.
fs::path NewListFile() {
  std::error_code error;
  const fs::path temp = fs::temp_directory_path(error);
  if (error) return {};
  static unsigned counter = 0;  // main thread only
  const std::string stem = "KVXS" + std::to_string(CurrentProcessId()) + "-";
  for (int tries = 0; tries < 1000; ++tries) {
    const fs::path list = temp / (stem + std::to_string(counter++) + ".LST");
    if (CreateNewFile(list)) return list;
  }
  return {};
}

// Names every entry of the (current) data folder but the earlier safety copies and
// restore work folders, in UTF-8 behind a byte order mark: every name exactly, whatever
// its characters. False when the folder cannot be listed or the list written.
bool WriteWholeFolderList(const std::string& dataFolder, const fs::path& list) {
  std::ofstream out(list, std::ios::binary | std::ios::trunc);
  out << "\xEF\xBB\xBF";
  std::error_code error;
  for (fs::directory_iterator it(NativePath(dataFolder), error), end; !error && it != end; it.increment(error)) {
    const std::u8string name = it->path().filename().u8string();
    const std::string text(name.begin(), name.end());
    if (!IsSafetyCopyName(text) && !IsWorkFolderName(text)) out << text << "\r\n";
  }
  out.close();
  return !error && out;
}

// The whole data folder with its subfolders, whatever PATSAUVE.DTA names: the switch may
// replace any entry of it.
bool ZipDataFolder(HostBridge& host, const std::string& dataFolder, const std::string& archive) {
  CurrentFolderGuard keep;
  if (!SetCurrentFolder(dataFolder)) return false;
  const fs::path list = NewListFile();
  if (list.empty()) return false;
  const bool archived = WriteWholeFolderList(dataFolder, list) &&
                        ZipArchive(host, archive, "@" + UTF16ToCP1252(list.u16string()), 0, true);
  std::error_code error;
  fs::remove(list, error);
  return archived;
}

// The copy is read back whole before anything changes; false with why when it is not good.
bool MakeSafetyCopy(HostBridge& host, const std::string& dataFolder, const std::string& archive, std::string& error) {
  if (!ZipDataFolder(host, dataFolder, archive))
    error = "La copie de sécurité " + archive + " n'a pas pu être faite.";
  else if (!TestArchive(host, archive))
    error = "La copie de sécurité " + archive + " est illisible.";
  else
    return true;
  if (std::string failure; !RemoveTree(archive, failure)) error += " " + failure;
  return false;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// The data folder's root entries in capitals, without safety copies and work folders;
// false when the folder cannot be listed (never taken for an empty one).
bool RootEntriesOf(const std::string& dataFolder, std::set<std::string>& entries) {
  return ScanFolder(dataFolder, [&](const FolderEntry& entry) {
    if (!IsSafetyCopyName(entry.name) && !IsWorkFolderName(entry.name)) entries.insert(ASCIIUpper(entry.name));
    return true;
  });
}

// A file at the archive's root (after the "./" of tar-style tools).
bool IsRootFile(const ArchiveMember& member) {
  std::string_view name = member.name;
  if (name.substr(0, 2) == "./" || name.substr(0, 2) == ".\\") name.remove_prefix(2);
  return !member.folder && !name.empty() && name.find_first_of("/\\") == std::string_view::npos;
}

std::vector<std::string> NamesOf(const std::vector<ArchiveMember>& members) {
  std::vector<std::string> names;
  for (const ArchiveMember& member : members) names.push_back(member.name);
  return names;
}

// The archive's directory as the toolbox reads it; false with why when it is damaged.
bool ReadDirectory(const std::string& archive, ArchiveDirectory& directory, std::string& error) {
  if (std::string why; ReadArchiveDirectory(NativePath(archive), directory, why)) return true;
  error = "Le répertoire de l'archive " + archive + " est endommagé.";
  return false;
}

// False with why when a member's name would not land where the archive puts it in the
// data folder, whatever the zip library makes of it.
bool CheckNames(const std::string& archive, const std::vector<std::string>& names, std::string& error) {
  const std::vector<std::string> refused = NamesWindowsCannotHold(names);
  if (refused.empty()) return true;
  error = "L'archive " + archive + " contient des noms que Windows ne peut pas garder : " + JoinNames(refused) + ".";
  return false;
}

// False with why when every member lies under one folder: a backup of a data folder has
// files at its root (PARAM.DTA, the data files), the backup of the folder itself (a
// compressed folder made by the system's shell, say) has none and would land one folder
// too deep, whatever the data folder holds.
bool CheckBackupOfContents(const std::string& archive, const std::string& dataFolder,
                           const std::vector<ArchiveMember>& members, std::string& error) {
  const std::vector<std::string> roots = RootEntries(NamesOf(members));
  if (roots.size() != 1 || std::any_of(members.begin(), members.end(), IsRootFile)) return true;
  error = "L'archive " + archive + " ne contient rien de ce qu'une sauvegarde de " + dataFolder +
          " met à sa racine : tout y est sous le dossier " + roots[0] +
          "\\, c'est la sauvegarde d'un dossier et non de son contenu.";
  return false;
}

// False with why when the archive is refused before anything changes: a damaged
// directory; names that would be dropped by the extraction or land outside the data
// folder; the backup of a folder rather than of its contents; nothing at its root that
// the data folder holds there, which would land beside the data instead of over it; a
// data folder that cannot be listed. An archive whose directory is not in this file (the
// first diskette of a set) is checked once extracted.
bool CheckArchive(const std::string& archive, const std::string& dataFolder, ArchiveDirectory& directory,
                  std::string& error) {
  if (!ReadDirectory(archive, directory, error)) return false;
  if (!directory.IsHere()) return true;
  const std::vector<std::string> names = NamesOf(directory.members);
  if (!CheckNames(archive, names, error) || !CheckBackupOfContents(archive, dataFolder, directory.members, error))
    return false;
  std::set<std::string> present;
  if (!RootEntriesOf(dataFolder, present)) {
    error = "Le dossier " + dataFolder + " n'a pas pu être lu.";
    return false;
  }
  const std::vector<std::string> roots = RootEntries(names);
  if (present.empty() || std::any_of(roots.begin(), roots.end(),
                                     [&](const std::string& root) { return present.count(ASCIIUpper(root)) > 0; }))
    return true;
  error = "L'archive " + archive + " ne contient rien de ce qu'une sauvegarde de " + dataFolder + " met à sa racine.";
  return false;
}

// False with why when the work folder does not hold exactly what the archive's directory
// says, read back by the toolbox: a library that skips its own checks must not get a
// damaged, missing or extra file into the data folder. A directory not read before the
// extraction (the set's last diskette is in the drive by now) is read, and its names and
// whether it is the backup of a folder are checked here.
bool CheckExtracted(const std::string& archive, const std::string& dataFolder, const std::string& incoming,
                    ArchiveDirectory& directory, std::string& error) {
  if (!directory.IsHere() && (!ReadDirectory(archive, directory, error) ||
                              !CheckNames(archive, NamesOf(directory.members), error) ||
                              !CheckBackupOfContents(archive, dataFolder, directory.members, error)))
    return false;
  if (!directory.IsHere()) {
    error = "Les fichiers extraits de " + archive +
            " n'ont pas pu être vérifiés : le répertoire de l'archive est illisible.";
    return false;
  }
  return FolderHoldsMembers(NativePath(incoming), directory.members, archive, error);
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::ifstream left(a, std::ios::binary), right(b, std::ios::binary);
  return left && right && std::equal(std::istreambuf_iterator<char>(left), {}, std::istreambuf_iterator<char>(right), {});
}

// Folder by folder, file by file: the library's recursive copy refuses a target folder
// that exists on some systems.
bool CopyTree(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::create_directories(to, error);
  if (error) return false;
  for (const fs::directory_entry& entry : fs::directory_iterator(from, error)) {
    const fs::path name = entry.path().filename();
    if (entry.is_directory(error) ? !CopyTree(from / name, to / name)
                                  : !fs::copy_file(from / name, to / name, fs::copy_options::overwrite_existing, error))
      return false;
  }
  return !error;
}

// Every file under a is under b with the same bytes.
bool SameTree(const fs::path& a, const fs::path& b) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(a, error)) {
    const fs::path name = entry.path().filename();
    if (entry.is_directory(error) ? !SameTree(a / name, b / name) : !SameBytes(a / name, b / name)) return false;
  }
  return !error;
}

bool SameFile(const std::string& a, const std::string& b) {
  return ASCIIUpper(SystemSeparators(a)) == ASCIIUpper(SystemSeparators(b));
}

// One restore under way, its journal and work folder.
class Restore {
 public:
  Restore(HostBridge& host, const RestoreRequest& request) : host_(host), request_(request) {}

  RestoreOutcome Run();

 private:
  RestoreOutcome Fail(RestoreStage stage, std::string message);
  bool Begin();
  bool PrepareParameters();
  bool PrepareCopiedOut();
  bool Switch();
  bool RunConverters();
  void EndCleanUp();

  HostBridge& host_;
  const RestoreRequest& request_;
  StopSeam seam_;
  RestoreRecord record_;
  RestoreJournal journal_{""};
  ArchiveDirectory directory_;
  std::string incoming_;
  RestoreOutcome outcome_;
};

// Undoes what the restore made before its switch: the work folder, the safety copy, the
// outside PARAM.DTA, the journal.
RestoreOutcome Restore::Fail(RestoreStage stage, std::string message) {
  if (stage != RestoreStage::Mixed) {
    if (!record_.paramKept.empty() && PathExists(record_.paramKept)) {
      std::error_code error;
      fs::copy_file(NativePath(record_.paramKept), NativePath(record_.paramFile), fs::copy_options::overwrite_existing,
                    error);
      FlushFileToDisk(NativePath(record_.paramFile));
    }
    // The renames are all undone: the next start must not undo anything more, only clean up.
    if (stage == RestoreStage::Switch) journal_.MarkPutBack();
    std::string failure;
    const bool removed = RemoveTree(record_.workFolder, failure) && RemoveTree(record_.copyWork, failure) &&
                         RemoveTree(record_.safetyCopy, failure);
    // What could not be removed stays in the journal, for the next start to finish.
    if (removed)
      journal_.Remove();
    else
      message += (message.empty() ? "" : " ") + std::string("Le nettoyage n'a pas pu se terminer : ") + failure;
  }
  outcome_.failedAt = stage;
  outcome_.message = std::move(message);
  if (stage != RestoreStage::Mixed) outcome_.safetyCopy.clear();
  return outcome_;
}

bool Restore::Begin() {
  record_.dataFolder = request_.dataFolder;
  record_.workFolder = NextWorkFolder(request_.dataFolder);
  if (request_.safetyCopy)
    record_.safetyCopy = request_.dataFolder + NextSafetyCopyName(request_.dataFolder, DateStamp(false)) + ".ZIP";
  if (!request_.paramFile.empty() && !SameFile(request_.paramFile, request_.dataFolder + "PARAM.DTA")) {
    record_.paramFile = request_.paramFile;
    record_.paramKept = record_.workFolder + "PARAM.DTA";
  }
  if (!request_.copiedOut.empty()) record_.copyWork = NextWorkFolder(request_.copiedTo);
  journal_ = RestoreJournal(JournalPath(request_.programFolder));
  if (record_.workFolder.empty() || !journal_.Begin(record_)) return false;
  std::error_code error;
  incoming_ = record_.workFolder + "NEW\\";
  return fs::create_directory(NativePath(record_.workFolder), error) &&
         fs::create_directory(NativePath(incoming_), error);
}

// The values read before the restore go into the prepared PARAM.DTA when it lies in the
// data folder (the live one taken along when the archive has none); an outside one is
// kept in the work folder first, to be put back should the data be.
bool Restore::PrepareParameters() {
  if (request_.paramFile.empty() || !request_.writeBack) return true;
  std::error_code error;
  if (!record_.paramFile.empty()) {
    // The copy kept must be on the disk before the file is rewritten: the recovery puts it back.
    fs::copy_file(NativePath(record_.paramFile), NativePath(record_.paramKept), error);
    return !error && FlushFileToDisk(NativePath(record_.paramKept)) && request_.writeBack(record_.paramFile);
  }
  const std::string prepared = incoming_ + "PARAM.DTA";
  if (!PathExists(prepared) && !fs::copy_file(NativePath(request_.paramFile), NativePath(prepared), error))
    return false;
  return request_.writeBack(prepared);
}

// The folder as the data folder will hold it (the archive's, else the one in place)
// copied into the work folder beside its other place, on that volume, and compared file
// by file with its source.
bool Restore::PrepareCopiedOut() {
  if (record_.copyWork.empty()) return true;
  std::string from = incoming_ + request_.copiedOut;
  if (!PathExists(from)) from = request_.dataFolder + request_.copiedOut;
  if (!PathExists(from)) return true;
  const fs::path source = NativePath(from);
  const fs::path copy = NativePath(record_.copyWork + "NEW\\" + request_.copiedOut);
  return CopyTree(source, copy) && SameTree(source, copy) && FlushTreeToDisk(NativePath(record_.copyWork + "NEW"));
}

bool Restore::Switch() {
  std::vector<Rename> plan =
      PlanSwitch(NativePath(incoming_), NativePath(request_.dataFolder), NativePath(record_.workFolder + "OLD"));
  if (!record_.copyWork.empty() && PathExists(record_.copyWork + "NEW")) {
    const std::vector<Rename> copied = PlanSwitch(NativePath(record_.copyWork + "NEW"), NativePath(request_.copiedTo),
                                                  NativePath(record_.copyWork + "OLD"));
    plan.insert(plan.end(), copied.begin(), copied.end());
  }
  if (!journal_.Plan(plan)) {
    Fail(RestoreStage::Journal, "Le journal de restauration n'a pas pu être écrit dans " + request_.programFolder + ".");
    return false;
  }
  seam_.Step();
  const SwitchOutcome switched = RunSwitch(
      plan, RenameEntry,
      [this](std::size_t index) {
        journal_.RenameDone(index);
        seam_.Step();
      },
      [this](std::size_t index) { journal_.RenameUndone(index); });
  if (switched == SwitchOutcome::Mixed) {
    Fail(RestoreStage::Mixed, "La restauration a été interrompue : les fichiers d'origine sont dans " +
                                  record_.workFolder + "OLD" +
                                  (record_.safetyCopy.empty() ? "" : " et dans la copie de sécurité " + record_.safetyCopy) +
                                  ".");
    return false;
  }
  if (switched == SwitchOutcome::Undone) {
    Fail(RestoreStage::Switch, "Les fichiers de " + request_.dataFolder + " n'ont pas pu être remplacés.");
    return false;
  }
  return true;
}

bool Restore::RunConverters() {
  CurrentFolderGuard keep;
  SetCurrentFolder(request_.programFolder);
  for (const auto& [program, arguments] : request_.converters)
    if (!RunAndWaitForSuccess(host_, program, arguments)) {
      outcome_.failedAt = RestoreStage::Converter;
      outcome_.program = program;
      outcome_.message = "La mise à jour des fichiers restaurés par " + program + " a échoué.";
      return false;
    }
  return true;
}

// A work folder that cannot be removed keeps the journal: the next start finishes the
// clean-up and says what stood in its way.
void Restore::EndCleanUp() {
  std::string failure;
  const bool removed = RemoveTree(record_.workFolder, failure) && RemoveTree(record_.copyWork, failure);
  seam_.Step();
  if (removed) journal_.Remove();
  seam_.Step();
}

RestoreOutcome Restore::Run() {
  if (std::string refusal; !CheckArchive(request_.archive, request_.dataFolder, directory_, refusal)) {
    outcome_.failedAt = RestoreStage::Refused;
    outcome_.message = std::move(refusal);
    return outcome_;
  }
  // A journal left by a restore that a start could not settle is never overwritten.
  if (std::string pending; RecoveryPending(request_.programFolder, request_.dataFolder, pending) ||
                           JournalLeft(request_.programFolder, pending)) {
    outcome_.failedAt = RestoreStage::Refused;
    outcome_.message = std::move(pending);
    return outcome_;
  }
  if (!Begin()) return Fail(RestoreStage::Journal, "Le journal de restauration n'a pas pu être écrit dans " +
                                                       request_.programFolder + ".");
  seam_.Step();
  if (request_.safetyCopy) {
    if (std::string failure; !MakeSafetyCopy(host_, request_.dataFolder, record_.safetyCopy, failure))
      return Fail(RestoreStage::SafetyCopy, failure);
    outcome_.safetyCopy = record_.safetyCopy;
  }
  seam_.Step();
  bool extracted = false;
  {
    BackgroundFlush early(NativePath(incoming_));
    extracted = UnzipArchive(host_, request_.archive, incoming_, "*.*");
  }
  if (!extracted)
    return Fail(RestoreStage::Extraction, "L'archive " + request_.archive + " n'a pas pu être extraite entièrement.");
  if (std::string failure; !CheckExtracted(request_.archive, request_.dataFolder, incoming_, directory_, failure))
    return Fail(RestoreStage::Extraction, failure);
  seam_.Step();
  if (!PrepareParameters()) return Fail(RestoreStage::Parameters, {});
  seam_.Step();
  if (!PrepareCopiedOut())
    return Fail(RestoreStage::CopiedOut, "Le dossier " + request_.copiedOut + " n'a pas pu être copié dans " +
                                             request_.copiedTo + ".");
  seam_.Step();
  // Files renamed in must not read as zeros after a power cut.
  if (!FlushTreeToDisk(NativePath(incoming_)))
    return Fail(RestoreStage::Extraction, "Les fichiers extraits de " + request_.archive +
                                              " n'ont pas pu être écrits sur le disque.");
  seam_.Step();
  if (!Switch()) return outcome_;
  journal_.Switched();
  seam_.Step();
  const bool converted = RunConverters();
  if (converted) journal_.Converted();
  seam_.Step();
  EndCleanUp();
  return outcome_;
}

}  // namespace

std::string NextSafetyCopyName(const std::string& dataFolder, const std::string& dateStamp) {
  const std::string day = dateStamp.substr(2, 6);
  for (int counter = 1;; ++counter) {
    const std::string name = day + ZeroPad(counter, 2);
    if (!FileExists(dataFolder + name + ".ZIP")) return name;
  }
}

std::string NextWorkFolder(const std::string& dataFolder) {
  for (int number = 1; number <= 9999; ++number) {
    const std::string name = dataFolder + kWorkPrefix + ZeroPad(number, 4) + kWorkSuffix;
    if (!PathExists(name)) return name + "\\";
  }
  return {};
}

RestoreOutcome RunRestore(HostBridge& host, const RestoreRequest& request) { return Restore(host, request).Run(); }

}  // namespace kvx
