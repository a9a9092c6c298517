// The KVX parameter file PARAM.DTA (section COMPOSANTS) and the readers every other
// part goes through. Values are comma-separated field lists.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace kvx {

// Entry 0: the number of fields up to the last non-empty one, two digits ("00".."32");
// entries 1..32: the fields in order.
using table_param = std::array<std::string, 33>;

inline constexpr size_t kMaxParamFields = 32;
inline constexpr char kComposants[] = "COMPOSANTS";
inline constexpr char kTbqEdition[] = "VELTRANOKISMARE";
// The separator of the fields of a value.
inline constexpr char kFieldSeparator[] = ",";

// Field 1 of the key's value, or empty (missing file, section or key; blanks only).
std::string ReadFirstField(std::string_view file, std::string_view key, std::string_view section);

// Fills the table from the key's value; all 33 entries are cleared first.
void ReadFieldTable(std::string_view file, std::string_view key, std::string_view section, table_param& table);

// Splits on the separator given, or on kFieldSeparator when none is given.
void SplitFieldTable(std::string_view text, table_param& table, std::string_view separator = {});

// Where PARAM.DTA lies for a current folder: the folder cut before "\SOURCES", then
// "\PARAM.DTA" when it is FIC01 itself, else "\FIC01\PARAM.DTA"; when no file is
// there but the folder's sibling FIC01 holds one, that one.
std::string ParamFileFor(std::string_view currentFolder, const std::function<bool(const std::string&)>& exists);

// Where PARAM.DTA lies for the current folder.
std::string LocateParamFile();

// Writes a value back as its first field followed by seven empty fields.
bool WriteFieldValue(std::string_view file, std::string_view key, std::string_view value);

// PARAM.DTA read relative to the program's own folder ("..\FIC01\PARAM.DTA"), through
// a field table of its own.
class TParamDTA {
 public:
  TParamDTA();
  // Field 1 of the key in section COMPOSANTS of the file beside the program; the
  // current folder is left as it was.
  std::string ReadComposant(std::string_view key);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  table_param table_;
};

}  // namespace kvx
