// A small INI reader and writer with the profile functions' rules, for the portable build.
#include <fstream>

#include "base/file_search.h"
#include "host/host_rules.h"
#include "host/profile.h"

namespace kvx {
namespace {

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> ReadLines(const std::string& file) {
  std::vector<std::string> lines;
  std::ifstream in(SystemSeparators(file), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) lines.push_back(Trimmed(line));
  return lines;
}

bool IsSectionHeader(const std::string& line, std::string_view section) {
  return line.size() >= 2 && line.front() == '[' && line.back() == ']' &&
         ASCIIUpper(Trimmed(std::string_view(line).substr(1, line.size() - 2))) == ASCIIUpper(section);
}

// "name = value" as the profile functions return it: "name=value".
std::string NormalisedEntry(const std::string& line) {
  const size_t equals = line.find('=');
  if (equals == std::string::npos) return line;
  return Trimmed(std::string_view(line).substr(0, equals)) + "=" + Trimmed(std::string_view(line).substr(equals + 1));
}

}  // namespace

std::vector<std::string> ReadINISection(std::string_view file, std::string_view section) {
  std::vector<std::string> entries;
  bool inside = false;
  for (const std::string& line : ReadLines(std::string(file))) {
    if (!line.empty() && line.front() == '[') {
      inside = IsSectionHeader(line, section);
      continue;
    }
    if (inside && !line.empty() && line.front() != ';') entries.push_back(NormalisedEntry(line));
  }
  return entries;
}

std::string ReadINIString(std::string_view file, std::string_view section, std::string_view key,
                              std::string_view defaultValue) {
  const std::vector<std::string> lines = ReadINISection(file, section);
  const std::string wanted = ASCIIUpper(key) + "=";
  for (const std::string& line : lines)
    if (ASCIIUpper(line.substr(0, wanted.size())) == wanted) return line.substr(wanted.size());
  return std::string(defaultValue);
}

bool WriteINIString(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view value) {
  std::vector<std::string> lines = ReadLines(std::string(file));
  const std::string entry = std::string(key) + "=" + std::string(value);
  size_t header = lines.size();
  for (size_t i = 0; i < lines.size() && header == lines.size(); ++i)
    if (IsSectionHeader(lines[i], section)) header = i;
  if (header == lines.size()) {
    lines.push_back("[" + std::string(section) + "]");
    lines.push_back(entry);
  } else {
    size_t end = header + 1;
    while (end < lines.size() && !(lines[end].size() > 0 && lines[end].front() == '[')) ++end;
    const std::string wanted = ASCIIUpper(key) + "=";
    size_t at = header + 1;
    while (at < end && ASCIIUpper(NormalisedEntry(lines[at]).substr(0, wanted.size())) != wanted) ++at;
    if (at < end) lines[at] = entry;
    else lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(end), entry);
  }
  std::ofstream out(SystemSeparators(file), std::ios::binary | std::ios::trunc);
  for (const std::string& line : lines) out << line << "\r\n";
  return static_cast<bool>(out);
}

}  // namespace kvx
