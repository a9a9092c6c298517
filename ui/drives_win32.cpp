// The system's drives: letters, kinds, volume names and, for network drives, the share.
#include <windows.h>
#include <winnetwk.h>

#include "ui/drives.h"
#include "ui/peers_win32.h"

namespace kvx::ui {
namespace {

DriveType KindOf(UINT type) {
  switch (type) {
    case DRIVE_REMOVABLE: return DriveType::Removable;
    case DRIVE_FIXED: return DriveType::Fixed;
    case DRIVE_REMOTE: return DriveType::Network;
    case DRIVE_CDROM: return DriveType::CDROM;
    case DRIVE_RAMDISK: return DriveType::RAMDisk;
  }
  return DriveType::Unknown;
}

std::string VolumeName(const std::wstring& root) {
  wchar_t name[MAX_PATH + 1] = {};
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);  // an empty unit answers quietly
  const BOOL got = GetVolumeInformationW(root.c_str(), name, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0);
  SetErrorMode(oldMode);
  return got ? Narrow(name) : std::string();
}

std::string RemoteName(const std::wstring& device) {
  wchar_t name[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH + 1;
  return WNetGetConnectionW(device.c_str(), name, &size) == NO_ERROR ? Narrow(name) : std::string();
}

}  // namespace

std::vector<DriveInfo> SystemDrives() {
  std::vector<DriveInfo> drives;
  const DWORD present = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(present & (1u << i))) continue;
    DriveInfo drive;
    drive.letter = static_cast<char>('A' + i);
    const std::wstring device{static_cast<wchar_t>(L'A' + i), L':'};
    drive.type = KindOf(GetDriveTypeW((device + L"\\").c_str()));
    // Removable and CD units are not asked for their volume: that would wait for the medium.
    if (drive.type == DriveType::Fixed || drive.type == DriveType::RAMDisk) drive.volumeName = VolumeName(device + L"\\");
    if (drive.type == DriveType::Network) drive.remoteName = RemoteName(device);
    drives.push_back(std::move(drive));
  }
  return drives;
}

}  // namespace kvx::ui
