// Descriptive text of the running Windows version, built from the version record.
#include <windows.h>

#include <cstdio>

#include "base/win32_scope.h"
#include "host/system_helpers.h"

namespace kvx {
namespace {

void AddLine(std::string& text, const std::string& piece) {
  if (!text.empty()) text += "\r\n";
  text += piece;
}

std::string Format(const char* pattern, auto... values) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, pattern, values...);
  return buffer;
}

// Product type of an NT system without the extended record, from the registry.
std::string RegistryProductSuffix() {
  win32::ScopedRegistryKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", 0, KEY_QUERY_VALUE,
                    key.put()) != ERROR_SUCCESS)
    return {};
  char type[80] = {};
  DWORD size = sizeof type - 1;
  const LONG result = RegQueryValueExA(key.get(), "ProductType", nullptr, nullptr, reinterpret_cast<BYTE*>(type), &size);
  if (result != ERROR_SUCCESS) return {};
  const std::string value = type;
  if (lstrcmpiA(value.c_str(), "WINNT") == 0) return " Professional";
  if (lstrcmpiA(value.c_str(), "LANMANNT") == 0) return " Server";
  if (lstrcmpiA(value.c_str(), "SERVERNT") == 0) return " Advanced Server";
  return {};
}

void DescribeWindows9x(std::string& text, const OSVERSIONINFOEXA& info) {
  const char service = info.szCSDVersion[0] ? info.szCSDVersion[1] : '\0';
  if (info.dwMajorVersion == 4 && info.dwMinorVersion == 0) {
    AddLine(text, "Microsoft Windows 95");
    if (service == 'C' || service == 'B') text += " OSR2";
  } else if (info.dwMajorVersion == 4 && info.dwMinorVersion == 10) {
    AddLine(text, "Microsoft Windows 98");
    if (service == 'A') text += " SE";
  } else if (info.dwMajorVersion == 4 && info.dwMinorVersion == 90) {
    AddLine(text, "Microsoft Windows Millennium Edition");
  }
}

void DescribeProduct(std::string& text, const OSVERSIONINFOEXA& info) {
  if (info.wProductType == VER_NT_WORKSTATION) {
    if (info.dwMajorVersion == 5 && info.dwMinorVersion == 1) AddLine(text, "Microsoft Windows XP");
    text += (info.wSuiteMask & VER_SUITE_PERSONAL) ? " Home Edition" : " Professional";
  } else if (info.wProductType == VER_NT_SERVER) {
    if (info.dwMajorVersion == 5 && info.dwMinorVersion == 1) AddLine(text, "Microsoft Windows .NET");
    if (info.wSuiteMask & VER_SUITE_DATACENTER) text += " DataCenter Server";
    else if (info.wSuiteMask & VER_SUITE_ENTERPRISE) text += info.dwMajorVersion == 4 ? " Advanced Server" : " Enterprise Server";
    else if (info.wSuiteMask == VER_SUITE_BLADE) text += " Web Server";
    else text += " Server";
  }
}

void DescribeWindowsNT(std::string& text, const OSVERSIONINFOEXA& info, bool extended) {
  if (info.dwMajorVersion <= 4) AddLine(text, "Microsoft Windows NT");
  if (info.dwMajorVersion == 5 && info.dwMinorVersion == 0) AddLine(text, "Microsoft Windows 2000");
  if (extended) DescribeProduct(text, info);
  else text += RegistryProductSuffix();
  if (info.dwMajorVersion > 4)
    AddLine(text, Format("%s (Build %d)", info.szCSDVersion, static_cast<int>(info.dwBuildNumber & 0xFFFF)));
  else
    AddLine(text, Format("version %d.%d %s (Build %d)", static_cast<int>(info.dwMajorVersion),
                         static_cast<int>(info.dwMinorVersion), info.szCSDVersion,
                         static_cast<int>(info.dwBuildNumber & 0xFFFF)));
}

}  // namespace

std::string WindowsVersionText() {
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof info;
  bool extended = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) != 0;
  if (!extended) {
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return {};
  }
  std::string text;
  if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) DescribeWindows9x(text, info);
  else if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) DescribeWindowsNT(text, info, extended);
  return text;
}

}  // namespace kvx
