#include <filesystem>

#include "base/cp1252.h"
#include "wizard/cd_backup.h"

namespace kvx {

std::string StagingFolder() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  return error ? std::string("/tmp/") : UTF16ToCP1252(folder.u16string()) + "/";
}

}  // namespace kvx
