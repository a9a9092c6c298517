#include <windows.h>

#include <system_error>

#include "archive/archive_replace.h"
#include "base/long_path.h"

namespace kvx {

// MOVEFILE_WRITE_THROUGH: the call returns once the move itself is on the disk.
bool ReplaceArchive(const std::filesystem::path& written, const std::filesystem::path& target, std::string& error) {
  if (MoveFileExW(LongPathForm(written.wstring()).c_str(), LongPathForm(target.wstring()).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  error = std::system_category().message(static_cast<int>(GetLastError()));
  return false;
}

}  // namespace kvx
