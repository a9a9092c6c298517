#include "archive/restore_journal.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "base/cp1252.h"
#include "base/disk_flush.h"
#include "base/file_search.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

constexpr char kJournalName[] = "KVXRESTO.JNL";
constexpr char kFirstLine[] = "KVXRESTORE 1";

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

fs::path FromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

bool Exists(const std::string& path) {
  std::error_code error;
  return !path.empty() && fs::exists(NativePath(path), error);
}

void RemoveTree(const std::string& path) {
  std::error_code error;
  if (!path.empty()) fs::remove_all(NativePath(path), error);
}

// The outside PARAM.DTA as it was; true when there is nothing to put back.
bool PutParametersBack(const RestoreRecord& record) {
  if (record.paramFile.empty() || !Exists(record.paramKept)) return true;
  std::error_code error;
  fs::copy_file(NativePath(record.paramKept), NativePath(record.paramFile), fs::copy_options::overwrite_existing, error);
  return !error;
}

// A rename the journal holds as made must show in the folders (its target there): else
// something changed them since, and nothing is undone.
bool PlanMatchesFolders(const RestoreRecord& record) {
  for (std::size_t i = 0; i < record.plan.size(); ++i) {
    std::error_code error;
    if (record.done[i] && !fs::exists(fs::symlink_status(record.plan[i].to, error))) return false;
  }
  return true;
}

std::string Opening(const RestoreRecord& record) {
  return "Une restauration de " + record.dataFolder + " a été interrompue";
}

RecoveryReport PutBack(const RestoreRecord& record) {
  const std::string opening = Opening(record);
  if (!PlanMatchesFolders(record) || !UndoSwitch(record.plan) || !PutParametersBack(record))
    return {true, true,
            opening + " et n'a pas pu être défaite : les fichiers d'origine sont dans " + record.workFolder +
                "OLD" + (record.safetyCopy.empty() ? "" : " et dans la copie de sécurité " + record.safetyCopy) + "."};
  RemoveTree(record.workFolder);
  RemoveTree(record.copyWork);
  RemoveTree(record.safetyCopy);
  return {true, false, opening + " : les données ont été remises comme avant la restauration."};
}

// The restored data is in place: only the work folder (holding the replaced entries) goes.
RecoveryReport EndCleanUp(const RestoreRecord& record) {
  RemoveTree(record.workFolder);
  RemoveTree(record.copyWork);
  std::string message = Opening(record) + " après le remplacement des fichiers : les données restaurées sont en place";
  if (record.converted) return {true, false, message + "."};
  message += ", mais elles n'ont pas été mises à jour. Recommencez la restauration";
  if (!record.safetyCopy.empty()) message += " ; les données d'avant sont dans la copie de sécurité " + record.safetyCopy;
  return {true, false, message + "."};
}

}  // namespace

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
  return Append(std::string(kFirstLine) + "\r\nDATA\t" + record.dataFolder + "\r\nWORK\t" + record.workFolder + "\r\nCOPYWORK\t" + record.copyWork +
                    "\r\nCOPY\t" + record.safetyCopy + "\r\nPARAM\t" + record.paramFile + "\t" + record.paramKept +
                    "\r\n",
                true);
}

bool RestoreJournal::Plan(const std::vector<Rename>& plan) {
  std::string lines;
  for (const Rename& step : plan) lines += "RENAME\t" + Utf8(step.from) + "\t" + Utf8(step.to) + "\r\n";
  return Append(lines + "SWITCH\r\n", true);
}

bool RestoreJournal::RenameDone(std::size_t index) { return Append("DONE\t" + std::to_string(index) + "\r\n", false); }

bool RestoreJournal::Switched() { return Append("SWITCHED\r\n", true); }

bool RestoreJournal::Converted() { return Append("CONVERTED\r\n", false); }

bool RestoreJournal::Remove() {
  std::error_code error;
  return fs::remove(NativePath(path_), error) && !error;
}

std::optional<RestoreRecord> ReadRestoreJournal(const std::string& path) {
  std::ifstream in(NativePath(path), std::ios::binary);
  std::string line;
  if (!std::getline(in, line) || line != std::string(kFirstLine) + "\r") return std::nullopt;
  RestoreRecord record;
  while (std::getline(in, line)) {
    if (line.empty() || line.back() != '\r') break;  // a record cut short by the stop
    line.pop_back();
    const std::vector<std::string> fields = Fields(line);
    const std::string& key = fields.empty() ? line : fields[0];
    const auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : std::string(); };
    if (key == "DATA") record.dataFolder = field(1);
    else if (key == "WORK") record.workFolder = field(1);
    else if (key == "COPYWORK") record.copyWork = field(1);
    else if (key == "COPY") record.safetyCopy = field(1);
    else if (key == "PARAM") record.paramFile = field(1), record.paramKept = field(2);
    else if (key == "RENAME") record.plan.push_back({FromUtf8(field(1)), FromUtf8(field(2))}), record.done.push_back(false);
    else if (key == "DONE" && std::stoul("0" + field(1)) < record.done.size()) record.done[std::stoul(field(1))] = true;
    else if (key == "SWITCHED") record.switched = true;
    else if (key == "CONVERTED") record.converted = true;
  }
  if (record.dataFolder.empty() || record.workFolder.empty()) return std::nullopt;
  return record;
}

RecoveryReport RecoverInterruptedRestore(const std::string& folder) {
  const std::string path = JournalPath(folder);
  if (!Exists(path)) return {};
  const std::optional<RestoreRecord> record = ReadRestoreJournal(path);
  if (!record)
    return {true, true, "Le journal de restauration " + path + " est illisible : les données n'ont pas été vérifiées."};
  const RecoveryReport report = record->switched ? EndCleanUp(*record) : PutBack(*record);
  if (!report.failed) RestoreJournal(path).Remove();
  return report;
}

}  // namespace kvx
