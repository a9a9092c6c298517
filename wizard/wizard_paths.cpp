#include "wizard/wizard_paths.h"

#include "base/file_search.h"

namespace kvx {

std::string DrivePart(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') return std::string(path.substr(0, 2));
  if (path.substr(0, 2) != "\\\\") return {};
  const size_t server = path.find('\\', 2);
  if (server == std::string_view::npos || server == 2) return {};
  return std::string(path.substr(0, path.find('\\', server + 1)));
}

std::string FolderPart(std::string_view path) {
  const size_t last = path.find_last_of(std::string{'\\', ':', kPathSeparator});
  return last == std::string_view::npos ? std::string() : std::string(path.substr(0, last + 1));
}

std::string WithSeparator(std::string_view folder) {
  std::string out(folder);
  if (out.empty() || (out.back() != '\\' && out.back() != kPathSeparator)) out += '\\';
  return out;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == kPathSeparator) return folder + name;
  return folder + kPathSeparator + name;
}

bool IsPlainFile(const std::string& path) {
  FileSearchRecord record;
  return FindFile(path, kAttrAnyFile & ~kAttrDirectory, record);
}

}  // namespace kvx
