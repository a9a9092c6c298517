// The system's drives as the drive box lists them. The list comes from the platform
// (drives_win32.cpp); outside Windows there are no drive letters and it is empty.
// Forms ask the current presenter (form.h), which headless tests can script.
#pragma once

#include <string>
#include <vector>

namespace kvx::ui {

enum class DriveType { Unknown, Removable, Fixed, Network, CDROM, RAMDisk };

struct DriveInfo {
  char letter = 0;  // upper case
  DriveType type = DriveType::Unknown;
  std::string volumeName;  // local drives
  std::string remoteName;  // network drives: \\SERVER\SHARE
};

std::vector<DriveInfo> SystemDrives();

// Upper-case drive letter of the current folder, or 0 when it has none.
char CurrentDriveLetter();

// "A:", "C: [SYSTEM]", "F: \\SRV\PARTAGE": letter, colon, then the volume name in
// brackets or the share name, all in upper case.
std::string DriveDisplayName(const DriveInfo& drive);

// Letter and colon of the first CD/DVD drive ("E:"), or empty when there is none.
std::string FirstCDDrive(const std::vector<DriveInfo>& drives);

}  // namespace kvx::ui
