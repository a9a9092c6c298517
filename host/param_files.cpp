#include "host/param_files.h"

#include <algorithm>
#include <functional>

#include "base/folders.h"
#include "host/host_rules.h"
#include "host/profile.h"
#include "host/text_helpers.h"

namespace kvx {

namespace {

std::string ValueOf(std::string_view file, std::string_view key, std::string_view section) {
  return ValueOfName(ReadINISection(file, section), key);
}

bool EndsWithFolder(std::string_view path, std::string_view folder) {
  return path.size() >= folder.size() && ASCIIUpper(path.substr(path.size() - folder.size())) == folder;
}

}  // namespace

std::string ReadFirstField(std::string_view file, std::string_view key, std::string_view section) {
  std::string value = ValueOf(file, key, section);
  if (RemoveBlanks(value).empty()) return {};
  value = TrimText(value, TrimMode::kTrailing) + ",";
  return value.substr(0, value.find(','));
}

void ReadFieldTable(std::string_view file, std::string_view key, std::string_view section, table_param& table) {
  std::string value = FileExists(file) ? ValueOf(file, key, section) : std::string();
  table.fill({});
  if (!value.empty() && value.back() != ',') value += ',';
  if (!RemoveBlanks(value).empty()) SplitFieldTable(value, table);
}

void SplitFieldTable(std::string_view text, table_param& table, std::string_view separator) {
  const std::string sep(separator.empty() ? kFieldSeparator : separator);
  std::string rest = TrimText(text, TrimMode::kTrailing) + sep;
  size_t count = 0, last = 0;
  while (!rest.empty() && count < kMaxParamFields) {
    const size_t at = rest.find(sep);
    if (at == std::string::npos) break;
    table[++count] = rest.substr(0, at);
    if (at > 0) last = count;
    rest.erase(0, at + sep.size());
  }
  std::string digits = std::to_string(last);
  if (digits.size() < 2) digits.insert(0, 1, '0');
  table[0] = digits;
}

std::string ParamFileFor(std::string_view currentFolder, const std::function<bool(const std::string&)>& exists) {
  std::string folder(currentFolder);
  std::replace(folder.begin(), folder.end(), '/', '\\');  // a POSIX folder reads the same
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  if (const size_t sources = PlainUpper(folder).find("\\SOURCES"); sources != std::string::npos) folder.resize(sources);
  const std::string path = folder + (EndsWithFolder(folder, "\\FIC01") ? "\\PARAM.DTA" : "\\FIC01\\PARAM.DTA");
  if (exists(path)) return path;
  // A toolbox folder beside FIC01 (OUTILS, for instance) finds its sibling data folder.
  const size_t parent = folder.rfind('\\');
  if (parent == std::string::npos) return path;
  const std::string sibling = folder.substr(0, parent) + "\\FIC01\\PARAM.DTA";
  return exists(sibling) ? sibling : path;
}

std::string LocateParamFile() {
  return ParamFileFor(CurrentFolder(), [](const std::string& path) { return FileExists(path); });
}

bool WriteFieldValue(std::string_view file, std::string_view key, std::string_view value) {
  return WriteINIString(file, kComposants, key, std::string(value) + ",,,,,,,");
}

TParamDTA::TParamDTA() : path_("..\\FIC01\\PARAM.DTA") {}

std::string TParamDTA::ReadComposant(std::string_view key) {
  CurrentFolderGuard guard;
  if (!SetCurrentFolder(ProgramFolder())) return {};
  ReadFieldTable(path_, key, kComposants, table_);
  return table_[1];
}

}  // namespace kvx
