#include "archive/restore_journal.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "base/ascii_case.h"
#include "base/cp1252.h"
#include "base/disk_flush.h"
#include "base/exception_text.h"
#include "base/file_search.h"
#include "base/path_rules.h"
#include "base/tree_removal.h"
#include "base/utf8.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

constexpr char kJournalName[] = "KVXRESTO.JNL";
constexpr char kFirstLine[] = "KVXRESTORE 1";
constexpr char kRecordEnd[] = "\r\n";
// The installation's entries a restore rewrites outside its data folder: the folder it
// also puts beside the installation's, and the PARAM.DTA that names the data folder.
constexpr char kCopiedOutFolder[] = "TRAMES";
constexpr char kInstallationParameters[] = "FIC01\\PARAM.DTA";
// The journal's header records, in the order Begin writes them.
constexpr const char* kHeaderKeys[] = {"DATA", "WORK", "COPYWORK", "COPY", "PARAM"};
constexpr int kMostSetAside = 99;

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

fs::path FromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

bool Exists(const std::string& path) {
  std::error_code error;
  return !path.empty() && fs::exists(fs::symlink_status(NativePath(path), error));
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

bool EndsWithSeparator(const std::string& path) { return !path.empty() && (path.back() == '\\' || path.back() == '/'); }

// A folder written with its final separator, as a path without it.
fs::path FolderPath(std::string text) {
  while (EndsWithSeparator(text)) text.pop_back();
  return NativePath(text);
}

// Whether child is parent + a name the rule accepts (+ a final "\" when a folder), as the
// restore writes them: both come from the same text.
bool IsEntryOf(const std::string& child, const std::string& parent, bool (*nameRule)(const std::string&), bool folder) {
  if (child.size() <= parent.size() || child.compare(0, parent.size(), parent) != 0) return false;
  std::string name = child.substr(parent.size());
  if (folder) {
    if (name.back() != '\\') return false;
    name.pop_back();
  }
  return nameRule(name);
}

// The index field of a DONE or UNDONE record: decimal digits only, of a planned rename.
std::optional<std::size_t> IndexOf(const std::string& field, std::size_t count) {
  std::size_t value = 0;
  const char* end = field.data() + field.size();
  const auto [stop, error] = std::from_chars(field.data(), end, value);
  if (!AllDigits(field) || error != std::errc() || stop != end || value >= count) return std::nullopt;
  return value;
}

// The records after the first line, in the order the restore writes them: the header,
// the planned renames up to SWITCH, then what the switch made.
class JournalParser {
 public:
  // False when the record cannot be one of this journal at this point.
  bool Take(const std::vector<std::string>& fields) {
    const std::string& key = fields[0];
    if (header_ < std::size(kHeaderKeys)) return key == kHeaderKeys[header_++] && TakeHeader(fields);
    if (!planned_) {
      if (key == "SWITCH" && fields.size() == 1) return planned_ = true;
      if (key != "RENAME" || fields.size() != 3 || !IsValidUTF8(fields[1]) || !IsValidUTF8(fields[2])) return false;
      record_.plan.push_back({FromUtf8(fields[1]), FromUtf8(fields[2])});
      record_.done.push_back(false);
      record_.undone.push_back(false);
      return true;
    }
    if ((key == "DONE" || key == "UNDONE") && fields.size() == 2 && !record_.switched && !record_.putBack) {
      const std::optional<std::size_t> index = IndexOf(fields[1], record_.plan.size());
      if (index) (key == "DONE" ? record_.done : record_.undone)[*index] = true;
      return index.has_value();
    }
    if (key == "PUTBACK" && fields.size() == 1 && !record_.switched && !record_.putBack) return record_.putBack = true;
    if (key == "SWITCHED" && fields.size() == 1 && !record_.switched && !record_.putBack && !Undoing())
      return record_.switched = true;
    if (key == "CONVERTED" && fields.size() == 1 && record_.switched && !record_.converted)
      return record_.converted = true;
    return false;
  }

  // The journal read: nothing when its header is not whole. Renames planned without
  // SWITCH were never started.
  std::optional<RestoreRecord> Record() {
    if (header_ < std::size(kHeaderKeys)) return std::nullopt;
    if (!planned_) record_.plan.clear(), record_.done.clear(), record_.undone.clear();
    return record_;
  }

 private:
  bool TakeHeader(const std::vector<std::string>& fields) {
    const std::string& key = fields[0];
    if (key == "PARAM") {
      if (fields.size() != 3) return false;
      record_.paramFile = fields[1];
      record_.paramKept = fields[2];
      return true;
    }
    if (fields.size() != 2) return false;
    (key == "DATA"       ? record_.dataFolder
     : key == "WORK"     ? record_.workFolder
     : key == "COPYWORK" ? record_.copyWork
                         : record_.safetyCopy) = fields[1];
    return true;
  }
  bool Undoing() const {
    for (bool undone : record_.undone)
      if (undone) return true;
    return false;
  }

  RestoreRecord record_;
  std::size_t header_ = 0;
  bool planned_ = false;
};

bool HasControl(const std::string& line) {
  for (char c : line)
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return true;
  return false;
}

std::string Opening(const RestoreRecord& record) {
  return "Une restauration de " + record.dataFolder + " a été interrompue";
}

std::string WhereTheOriginalsAre(const RestoreRecord& record) {
  return record.workFolder + "OLD" +
         (record.safetyCopy.empty() ? "" : " et dans la copie de sécurité " + record.safetyCopy);
}

// Runs the test's step hook; false when it stops the recovery.
bool Stepped(const RecoveryStep& step) { return !step || step(); }

RecoveryReport Stopped(const RestoreRecord& record) {
  return {true,
          true,
          Opening(record) + " et sa remise en état a été interrompue : elle reprendra au prochain démarrage.",
          {}};
}

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

// Each rename the journal holds as made and not undone must show its source or its
// target in the folders (both where a later rename refilled its source, or an undo its
// target): with neither, something changed them since, and nothing is undone.
bool PlanMatchesFolders(const RestoreRecord& record) {
  for (std::size_t i = 0; i < record.plan.size(); ++i)
    if (record.done[i] && !record.undone[i] && !Exists(record.plan[i].from) && !Exists(record.plan[i].to)) return false;
  return true;
}

// After the undo, the source of every rename made is back (or its target gone, should
// no entry have stood there before).
bool EveryRenameUndone(const RestoreRecord& record) {
  for (const Rename& step : record.plan)
    if (StateOf(step) == RenameState::Made) return false;
  return true;
}

// A record cut short by a stop ends the journal: it goes before anything is added, so
// that what the recovery adds is read as records of their own.
bool CutAfterWholeRecords(const std::string& path) {
  std::ifstream in(NativePath(path), std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  const std::size_t end = text.rfind(kRecordEnd);
  if (end == std::string::npos || end + 2 == text.size()) return true;
  std::error_code error;
  fs::resize_file(NativePath(path), end + 2, error);
  return !error;
}

// The outside PARAM.DTA as it was, on the disk before its kept copy may go; true when
// there is nothing to put back.
bool PutParametersBack(const RestoreRecord& record) {
  if (record.paramFile.empty() || !Exists(record.paramKept)) return true;
  std::error_code error;
  fs::copy_file(NativePath(record.paramKept), NativePath(record.paramFile), fs::copy_options::overwrite_existing,
                error);
  return !error && FlushFileToDisk(NativePath(record.paramFile));
}

// Removes each folder or file, one step each; the first failure, told, stops.
bool RemoveAll(const std::vector<std::string>& paths, const RecoveryStep& step, bool& stopped, std::string& failure) {
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    if (std::string why; !RemoveTreeNoFollow(NativePath(path), why)) {
      failure = path + " n'a pas pu être supprimé (" + why + ")";
      return false;
    }
    if (!Stepped(step)) return !(stopped = true);
  }
  return true;
}

RecoveryReport NotUndone(const RestoreRecord& record) {
  return {true, true,
          Opening(record) + " et n'a pas pu être défaite : les fichiers d'origine sont dans " +
              WhereTheOriginalsAre(record) + ".",
          {}};
}

RecoveryReport PutBack(const RestoreRecord& record, RestoreJournal& journal, const RecoveryStep& step) {
  if (!record.putBack) {
    if (!PlanMatchesFolders(record)) return NotUndone(record);
    for (std::size_t i = record.plan.size(); i-- > 0;) {
      if (record.undone[i] || StateOf(record.plan[i]) != RenameState::Made) continue;
      if (!RenameEntry(record.plan[i].to, record.plan[i].from) || !journal.RenameUndone(i)) return NotUndone(record);
      if (!Stepped(step)) return Stopped(record);
    }
    // Without a plan nothing was renamed: no mark is needed, and none may follow a plan cut short.
    if (!EveryRenameUndone(record) || !PutParametersBack(record) || (!record.plan.empty() && !journal.MarkPutBack()))
      return NotUndone(record);
    if (!Stepped(step)) return Stopped(record);
  }
  bool stopped = false;
  std::string failure;
  if (!RemoveAll({record.workFolder, record.copyWork, record.safetyCopy}, step, stopped, failure))
    return stopped ? Stopped(record)
                   : RecoveryReport{true,
                                    true,
                                    Opening(record) +
                                        " : les données ont été remises comme avant la "
                                        "restauration, mais " +
                                        failure + ".",
                                    {}};
  return {true, false, Opening(record) + " : les données ont été remises comme avant la restauration.", {}};
}

// The restored data is in place: only the work folders (holding the replaced entries) go.
RecoveryReport EndCleanUp(const RestoreRecord& record, const RecoveryStep& step) {
  std::string message = Opening(record) + " après le remplacement des fichiers : les données restaurées sont en place";
  if (!record.converted) {
    message += ", mais elles n'ont pas été mises à jour. Recommencez la restauration";
    if (!record.safetyCopy.empty())
      message += " ; les données d'avant sont dans la copie de sécurité " + record.safetyCopy;
  }
  bool stopped = false;
  std::string failure;
  if (!RemoveAll({record.workFolder, record.copyWork}, step, stopped, failure))
    return stopped ? Stopped(record)
                   : RecoveryReport{true, true, message + ". Le nettoyage reste à finir : " + failure + ".", {}};
  return {true, false, message + ".", {}};
}

// The journal renamed beside itself, untouched, so that it is neither used nor lost.
RecoveryReport SetAside(const std::string& path, const std::string& why) {
  const std::string opening = "Le journal de restauration " + path + " n'est pas valable (" + why + ")";
  for (int n = 1; n <= kMostSetAside; ++n) {
    const std::string aside = path + "." + std::to_string(n) + ".bad";
    if (Exists(aside)) continue;
    std::error_code error;
    fs::rename(NativePath(path), NativePath(aside), error);
    if (error) break;
    return {true, true, opening + " : il a été mis de côté sous " + aside + " et aucune donnée n'a été touchée.",
            aside};
  }
  return {true, true, opening + " et n'a pas pu être mis de côté : aucune donnée n'a été touchée.", {}};
}

// The journal's record when it is valid for the program folder; else why not.
std::optional<RestoreRecord> ValidRecord(const std::string& path, const std::string& programFolder, std::string& why) {
  std::optional<RestoreRecord> record = ReadRestoreJournal(path, why);
  if (record && !CheckRestoreRecord(*record, programFolder, why)) record.reset();
  return record;
}

RecoveryReport Recover(const std::string& path, const std::string& folder, const RecoveryStep& step) {
  std::string why;
  const std::optional<RestoreRecord> record = ValidRecord(path, folder, why);
  if (!record) return SetAside(path, why);
  RestoreJournal journal(path);
  if (!CutAfterWholeRecords(path))
    return {true, true, "Le journal de restauration " + path + " n'a pas pu être écrit.", {}};
  RecoveryReport report = record->switched ? EndCleanUp(*record, step) : PutBack(*record, journal, step);
  if (!report.failed && !journal.Remove()) {
    report.failed = true;
    report.message += " Le journal " + path + " n'a pas pu être supprimé.";
  }
  return report;
}

}  // namespace

bool IsWorkFolderName(const std::string& name) {
  return name.size() == 12 && ASCIIUpper(name.substr(0, 4)) == "KVXR" && AllDigits(name.substr(4, 4)) &&
         name.substr(8) == ".$$$";
}

bool IsSafetyCopyName(const std::string& name) {
  return name.size() == 12 && AllDigits(name.substr(0, 8)) && ASCIIUpper(name.substr(8)) == ".ZIP";
}

std::string JournalPath(const std::string& folder) { return folder + kJournalName; }

bool RestoreJournal::Append(const std::string& lines, bool toDisk) {
  {
    std::ofstream out(NativePath(path_), std::ios::binary | std::ios::app);
    out << lines;
    out.close();
    if (!out) return false;
  }
  return !toDisk || FlushFileToDisk(NativePath(path_));
}

bool RestoreJournal::Begin(const RestoreRecord& record) {
  std::error_code error;
  fs::remove(NativePath(path_), error);
  return Append(std::string(kFirstLine) + "\r\nDATA\t" + record.dataFolder + "\r\nWORK\t" + record.workFolder +
                    "\r\nCOPYWORK\t" + record.copyWork + "\r\nCOPY\t" + record.safetyCopy + "\r\nPARAM\t" +
                    record.paramFile + "\t" + record.paramKept + "\r\n",
                true);
}

bool RestoreJournal::Plan(const std::vector<Rename>& plan) {
  std::string lines;
  for (const Rename& step : plan) lines += "RENAME\t" + Utf8(step.from) + "\t" + Utf8(step.to) + "\r\n";
  return Append(lines + "SWITCH\r\n", true);
}

bool RestoreJournal::RenameDone(std::size_t index) { return Append("DONE\t" + std::to_string(index) + "\r\n", false); }

bool RestoreJournal::RenameUndone(std::size_t index) {
  return Append("UNDONE\t" + std::to_string(index) + "\r\n", true);
}

bool RestoreJournal::MarkPutBack() { return Append("PUTBACK\r\n", true); }

bool RestoreJournal::Switched() { return Append("SWITCHED\r\n", true); }

bool RestoreJournal::Converted() { return Append("CONVERTED\r\n", false); }

bool RestoreJournal::Remove() {
  std::error_code error;
  return fs::remove(NativePath(path_), error) && !error;
}

std::optional<RestoreRecord> ReadRestoreJournal(const std::string& path, std::string& why) {
  std::ifstream in(NativePath(path), std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  if (!in.good() && !in.eof()) {
    why = "il ne peut pas être lu";
    return std::nullopt;
  }
  const std::string first = std::string(kFirstLine) + kRecordEnd;
  if (text.compare(0, first.size(), first) != 0) {
    why = "ce n'est pas un journal de restauration";
    return std::nullopt;
  }
  JournalParser parser;
  int line = 1;
  // What follows the last whole record is one cut short by a stop: left out.
  for (std::size_t at = first.size(), end; (end = text.find(kRecordEnd, at)) != std::string::npos; at = end + 2) {
    ++line;
    const std::string record = text.substr(at, end - at);
    if (record.empty() || HasControl(record) || !parser.Take(Fields(record))) {
      why = "sa ligne " + std::to_string(line) + " n'est pas valable";
      return std::nullopt;
    }
  }
  std::optional<RestoreRecord> record = parser.Record();
  if (!record) why = "il s'arrête avant d'avoir nommé les dossiers de la restauration";
  return record;
}

std::optional<RestoreRecord> ReadRestoreJournal(const std::string& path) {
  std::string why;
  return ReadRestoreJournal(path, why);
}

bool CheckRestoreRecord(const RestoreRecord& record, const std::string& programFolder, std::string& why) {
  const std::string& data = record.dataFolder;
  const fs::path dataPath = FolderPath(data), installation = FolderPath(programFolder).parent_path();
  const fs::path copyWork = FolderPath(record.copyWork), frames = copyWork.parent_path() / kCopiedOutFolder;
  const auto inCopyZone = [&](const fs::path& path) {
    return !record.copyWork.empty() && (PathUnder(path, copyWork) || PathUnder(path, frames) || SamePath(path, frames));
  };
  if (!EndsWithSeparator(data) || !IsPlainAbsolutePath(dataPath) || dataPath.relative_path().empty())
    why = "le dossier de données « " + data + " » n'est pas un dossier complet";
  else if (!IsEntryOf(record.workFolder, data, IsWorkFolderName, true))
    why = "le dossier de travail « " + record.workFolder + " » n'est pas un dossier KVXRnnnn.$$$ de " + data;
  else if (!record.safetyCopy.empty() && !IsEntryOf(record.safetyCopy, data, IsSafetyCopyName, false))
    why = "la copie de sécurité « " + record.safetyCopy + " » n'est pas un fichier AAMMJJNN.ZIP de " + data;
  else if (!record.copyWork.empty() &&
           (!EndsWithSeparator(record.copyWork) || !IsWorkFolderName(UTF16ToCP1252(copyWork.filename().u16string())) ||
            !SamePath(copyWork.parent_path(), installation)))
    why = "le dossier de travail « " + record.copyWork + " » n'est pas un dossier KVXRnnnn.$$$ de l'installation";
  else if ((!record.paramFile.empty() || !record.paramKept.empty()) &&
           (record.paramKept != record.workFolder + "PARAM.DTA" ||
            !SamePath(NativePath(record.paramFile), installation / NativePath(kInstallationParameters))))
    why = "le fichier de paramètres « " + record.paramFile + " » n'est pas celui de l'installation";
  else {
    for (const Rename& step : record.plan) {
      const bool inData = PathUnder(step.from, dataPath) && PathUnder(step.to, dataPath);
      if (!inData && !(inCopyZone(step.from) && inCopyZone(step.to))) {
        why = "le renommage de « " + UTF16ToCP1252(step.from.u16string()) + " » en « " +
              UTF16ToCP1252(step.to.u16string()) + " » sort des dossiers de la restauration";
        return false;
      }
    }
    return true;
  }
  return false;
}

RecoveryReport RecoverInterruptedRestore(const std::string& folder, const RecoveryStep& step) {
  const std::string path = JournalPath(folder);
  if (!Exists(path)) return {};
  try {
    return Recover(path, folder, step);
  } catch (...) {
    return {true,
            true,
            "La reprise de la restauration interrompue (journal " + path + ") a échoué : " + CurrentExceptionText(),
            {}};
  }
}

bool RecoveryPending(const std::string& programFolder, const std::string& dataFolder, std::string& message) {
  const std::string path = JournalPath(programFolder);
  if (!Exists(path)) return false;
  std::string why;
  const std::optional<RestoreRecord> record = ValidRecord(path, programFolder, why);
  if (!record) {
    message = "Le journal de restauration " + path + " n'est pas valable (" + why +
              ") : mettez-le de côté avant toute sauvegarde ou restauration.";
    return true;
  }
  if (!SamePath(FolderPath(record->dataFolder), FolderPath(dataFolder))) return false;
  message = Opening(*record) + " et n'est pas terminée (journal " + path +
            ") : relancez l'outil pour qu'il la termine avant toute sauvegarde ou restauration de ce dossier.";
  return true;
}

}  // namespace kvx
