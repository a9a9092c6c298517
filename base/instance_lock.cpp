#include "base/instance_lock.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/ascii_case.h"
#include "base/file_search.h"

namespace kvx {

std::string InstanceLockName(std::string_view folder) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(NativePath(folder), error);
  if (error) path = NativePath(folder);
  std::string key = ASCIIUpper(path.lexically_normal().generic_string());
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char c : key) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char name[40];
  std::snprintf(name, sizeof name, "KVXOUTIL-%016llx", static_cast<unsigned long long>(hash));
  return name;
}

}  // namespace kvx
