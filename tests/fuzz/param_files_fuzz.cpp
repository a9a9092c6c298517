// Fuzz target of the parameter files (PARAM.DTA, PATSAUVE.DTA, SETUP.DTA are INI text):
// the input is the file. The readers of section COMPOSANTS, the field split with the
// separators callers use, a value written back reads back as written, and the input as
// the folder the file is looked for from.
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/param_files.h"
#include "host/profile.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using kvx::fuzz::Expect;

// A reader that finds no value leaves the whole table empty, entry 0 included.
void CheckTable(const kvx::table_param& table) {
  const std::string& count = table[0];
  if (count.empty()) {
    for (const std::string& field : table) Expect(field.empty(), "a table without a count is empty");
    return;
  }
  Expect(count.size() == 2 && std::isdigit(static_cast<unsigned char>(count[0])) &&
             std::isdigit(static_cast<unsigned char>(count[1])) && count <= "32",
         "the field count is two digits up to 32");
  const size_t last = std::stoul(count);
  Expect(last == 0 || !table[last].empty(), "the count names the last non-empty field");
  for (size_t i = last + 1; i <= kvx::kMaxParamFields; ++i) Expect(table[i].empty(), "no field after the last");
}

void CheckSplit(std::string_view text) {
  kvx::table_param table;
  for (const std::string_view separator : {std::string_view(), std::string_view(";"), std::string_view("||")}) {
    table.fill({});  // the split fills fields, the reader clears
    kvx::SplitFieldTable(text, table, separator);
    CheckTable(table);
  }
}

void CheckReaders(const std::string& file) {
  for (const char* key : {"REPERTOIREF", "USER", "VERSION", "DPIOK"}) {
    const std::string first = kvx::ReadFirstField(file, key, kvx::kComposants);
    Expect(first.find(',') == std::string::npos, "field 1 holds no separator");
    kvx::table_param table;
    kvx::ReadFieldTable(file, key, kvx::kComposants, table);
    CheckTable(table);
  }
  const std::vector<std::string> lines = kvx::ReadINISection(file, kvx::kComposants);
  for (const std::string& line : lines) Expect(line.find('\n') == std::string::npos, "one entry per line");
}

// The value a restore writes (its first field and seven empty ones) is read back.
void CheckWriteBack(const std::string& file, std::string_view text) {
  std::string value(text.substr(0, text.find_first_of(std::string_view("\r\n\0", 3))));
  const size_t first = value.find_first_not_of(" \t"), last = value.find_last_not_of(" \t,");
  value = first == std::string::npos || last < first ? "X" : value.substr(first, last - first + 1);
  Expect(kvx::WriteFieldValue(file, "VERSION", value), "the value can be written");
  Expect(kvx::ReadINIString(file, kvx::kComposants, "VERSION", "") == value + ",,,,,,,", "the written line is read");
}

// The input as the current folder: the path found always names a PARAM.DTA, the first
// candidate when none exists.
void CheckLocation(std::string_view folder) {
  for (const bool siblingExists : {false, true}) {
    std::vector<std::string> asked;
    const std::string found = kvx::ParamFileFor(folder, [&](const std::string& path) {
      asked.push_back(path);
      return siblingExists && asked.size() == 2;
    });
    Expect(found.ends_with("\\PARAM.DTA") && !asked.empty(), "the parameter file is a PARAM.DTA");
    Expect(found == asked.back() || found == asked.front(), "the path found is one that was looked for");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckSplit(text);
  CheckLocation(text);
  const std::string file = (kvx::fuzz::ScratchFolder() / "PARAM.DTA").string();
  kvx::fuzz::WriteWholeFile(file, text);
  CheckReaders(file);
  CheckWriteBack(file, text);
  return 0;
}
