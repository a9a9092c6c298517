#include "wizard/backup_search.h"

#include "base/folder_scan.h"
#include "host/host_rules.h"
#include "wizard/wizard_paths.h"

namespace kvx {
namespace {

// Recycle bins hold deleted files, not backups.
bool IsSearchedFolder(const FolderEntry& entry) { return entry.isFolder && PlainUpper(entry.name) != "RECYCLED"; }

}  // namespace

void SearchBackups(const std::string& folder, const std::string& fileName, const SearchReport& report,
                   const std::function<bool()>& stopRequested) {
  const std::string candidate = JoinPath(folder, fileName);
  if (IsPlainFile(candidate) && report.found) report.found(candidate);

  ScanFolder(folder, [&](const FolderEntry& entry) {
    if (stopRequested()) return false;
    if (!IsSearchedFolder(entry)) return true;
    const std::string subfolder = JoinPath(folder, entry.name);
    if (report.enteringFolder) report.enteringFolder(subfolder);
    SearchBackups(subfolder, fileName, report, stopRequested);
    return true;
  });
}

}  // namespace kvx
