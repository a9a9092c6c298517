#include "ui/drives.h"

#include <filesystem>

#include "base/ascii_case.h"

namespace kvx::ui {

char CurrentDriveLetter() {
  std::error_code error;
  const std::string folder = std::filesystem::current_path(error).string();
  if (error || folder.size() < 2 || folder[1] != ':') return 0;
  return ASCIIUpperChar(folder[0]);
}

std::string DriveDisplayName(const DriveInfo& drive) {
  std::string name{drive.letter, ':'};
  if (drive.type == DriveType::Network && !drive.remoteName.empty()) name += " " + drive.remoteName;
  else if (!drive.volumeName.empty()) name += " [" + drive.volumeName + "]";
  return ASCIIUpper(name);
}

std::string FirstCDDrive(const std::vector<DriveInfo>& drives) {
  for (const DriveInfo& drive : drives)
    if (drive.type == DriveType::CDROM) return {drive.letter, ':'};
  return {};
}

}  // namespace kvx::ui
