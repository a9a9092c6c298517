// Plays the diskette drive A: of the test wine prefix for the zip stand-in's spanned sets:
//   kvxfloppy define UNIXFOLDER     A: becomes a floppy drive on that folder (wine's mount
//                                   manager, as its drive settings do); exit 0 when
//                                   GetDriveType then answers DRIVE_REMOVABLE
//   kvxfloppy forget                A: is no drive any more
//   kvxfloppy swap SHELF [RULE...] insert|erase N
//                                   the diskette changer the stand-in runs: logs the request
//                                   in SHELF\requests.log; insert N puts A:'s files on the
//                                   shelf as diskette SHELF\<current> and diskette N's into
//                                   A: (insert last: the highest numbered). Rules:
//                                   refuse-insert-N / refuse-erase-N answer Annuler;
//                                   wrong-N-M inserts diskette M at the first request for N
//                                   (M the diskette in the drive: OK without swapping).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/win32_scope.h"

namespace {

constexpr DWORD kDefineUnixDrive = 0x6D << 16 | 3 << 14 | 32 << 2;  // IOCTL_MOUNTMGR_DEFINE_UNIX_DRIVE
constexpr ULONG kDriveRemovable = 2;

#pragma pack(push, 8)
struct UnixDrive {
  ULONG size, type, fsType;
  DWORD serial;
  ULONGLONG unixDevice;
  WCHAR letter;
  USHORT mountPointOffset, deviceOffset, labelOffset;
};
#pragma pack(pop)

bool DefineDriveA(const std::string& unixFolder) {
  std::vector<char> buffer(sizeof(UnixDrive) + unixFolder.size() + 1, 0);
  auto* drive = reinterpret_cast<UnixDrive*>(buffer.data());
  drive->size = static_cast<ULONG>(buffer.size());
  drive->type = kDriveRemovable;
  drive->letter = L'a';
  if (!unixFolder.empty()) {
    drive->mountPointOffset = sizeof(UnixDrive);
    std::memcpy(buffer.data() + sizeof(UnixDrive), unixFolder.c_str(), unixFolder.size());
  } else {
    buffer.resize(sizeof(UnixDrive));
    drive->size = sizeof(UnixDrive);
  }
  const kvx::win32::ScopedHandle manager(CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!manager) return false;
  DWORD returned = 0;
  return DeviceIoControl(manager.get(), kDefineUnixDrive, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, 0,
                         &returned, nullptr) != 0;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::string text;
  std::getline(in, text);
  return text;
}

void MoveFiles(const std::string& from, const std::string& to) {
  CreateDirectoryA(to.c_str(), nullptr);
  WIN32_FIND_DATAA entry;
  const kvx::win32::ScopedFind find(FindFirstFileA((from + "\\*").c_str(), &entry));
  if (!find) return;
  do {
    if (std::strcmp(entry.cFileName, ".") == 0 || std::strcmp(entry.cFileName, "..") == 0) continue;
    MoveFileExA((from + "\\" + entry.cFileName).c_str(), (to + "\\" + entry.cFileName).c_str(),
                MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING);
  } while (FindNextFileA(find.get(), &entry));
}

std::string LastDiskette(const std::string& shelf, const std::string& current) {
  int last = std::stoi(current);
  for (int n = last + 1; n < 100; ++n)
    if (GetFileAttributesA((shelf + "\\" + std::to_string(n)).c_str()) != INVALID_FILE_ATTRIBUTES) last = n;
  return std::to_string(last);
}

bool HasRule(const std::vector<std::string>& rules, const std::string& rule) {
  for (const std::string& r : rules)
    if (r == rule) return true;
  return false;
}

int Swap(const std::string& shelf, const std::vector<std::string>& rules, const std::string& request,
         const std::string& number) {
  std::ofstream(shelf + "\\requests.log", std::ios::app) << request << ' ' << number << '\n';
  if (HasRule(rules, "refuse-" + request + "-" + number)) return 1;
  if (request != "insert") return 0;
  std::string wanted = number;
  const std::string wrongPrefix = "wrong-" + number + "-";
  for (const std::string& rule : rules) {
    const std::string done = shelf + "\\" + rule + ".done";  // each rule plays once
    if (rule.rfind(wrongPrefix, 0) == 0 && GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES) {
      wanted = rule.substr(wrongPrefix.size());
      std::ofstream(done) << rule;
    }
  }
  std::string current = ReadText(shelf + "\\current.txt");
  if (current.empty()) current = "1";
  if (wanted == "last") wanted = LastDiskette(shelf, current);
  if (wanted == current) return 0;
  MoveFiles("A:", shelf + "\\" + current);
  MoveFiles(shelf + "\\" + wanted, "A:");
  std::ofstream(shelf + "\\current.txt", std::ios::trunc) << wanted;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "define") {
    if (!DefineDriveA(args[1])) return 3;
    const UINT type = GetDriveTypeA("A:\\");
    std::printf("%u\n", type);
    return type == DRIVE_REMOVABLE ? 0 : 4;
  }
  if (args.size() == 1 && args[0] == "forget") return DefineDriveA("") ? 0 : 3;
  if (args.size() >= 4 && args[0] == "swap")
    return Swap(args[1], std::vector<std::string>(args.begin() + 2, args.end() - 2), args[args.size() - 2],
                args.back());
  std::fprintf(stderr, "usage: kvxfloppy define UNIXFOLDER | forget | swap SHELF [RULE...] insert|erase N\n");
  return 2;
}
