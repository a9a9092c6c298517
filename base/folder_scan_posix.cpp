#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

#include "base/cp1252.h"
#include "base/file_search.h"
#include "base/folder_scan.h"

namespace kvx {
namespace {

// The entry's kind from the directory itself; links and file systems that do not say
// are asked (a link to a folder counts as a folder, as elsewhere).
bool IsFolder(DIR* dir, const dirent& entry) {
  if (entry.d_type == DT_DIR) return true;
  if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK) return false;
  struct stat st {};
  return fstatat(dirfd(dir), entry.d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool ScanFolder(std::string_view folder, const std::function<bool(const FolderEntry&)>& visit) {
  DIR* dir = opendir(folder.empty() ? "." : NativePath(folder).c_str());
  if (!dir) return false;
  FolderEntry out;
  while (dirent* entry = readdir(dir)) {
    if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
    out.name = UTF8ToCP1252(entry->d_name);
    out.isFolder = IsFolder(dir, *entry);
    if (!visit(out)) break;
  }
  closedir(dir);
  return true;
}

}  // namespace kvx
