#include <windows.h>

#include "host/profile.h"

namespace kvx {

std::vector<std::string> ReadINISection(std::string_view file, std::string_view section) {
  const std::string path(file), name(section);
  std::vector<char> buffer(32768);
  DWORD length = 0;
  // The call reports size - 2 when the section did not fit: grow and read again.
  while ((length = GetPrivateProfileSectionA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                             path.c_str())) == buffer.size() - 2 &&
         buffer.size() < (1u << 24))
    buffer.resize(buffer.size() * 2);
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < length && buffer[pos] != '\0';) {
    const std::string line(buffer.data() + pos);
    lines.push_back(line);
    pos += line.size() + 1;
  }
  return lines;
}

std::string ReadINIString(std::string_view file, std::string_view section, std::string_view key,
                              std::string_view defaultValue) {
  std::vector<char> buffer(4096);
  const DWORD length =
      GetPrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(), std::string(defaultValue).c_str(),
                               buffer.data(), static_cast<DWORD>(buffer.size()), std::string(file).c_str());
  return std::string(buffer.data(), length);
}

bool WriteINIString(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view value) {
  return WritePrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(),
                                    std::string(value).c_str(), std::string(file).c_str()) != 0;
}

}  // namespace kvx
