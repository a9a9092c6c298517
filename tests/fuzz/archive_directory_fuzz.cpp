// Fuzz target of the restore's own reading of an archive: the input is an archive whose
// central directory the toolbox reads (end records, zip64 locator and record, data in
// front, central records, zip64 sizes, member names) before any extraction. A directory
// read must never throw nor read past the file, and every name the restore's check lets
// through must stay inside the folder it is extracted into.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

#include "archive/archive_members.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

namespace fs = std::filesystem;
using kvx::fuzz::Expect;

// The name joined onto a folder, both separators taken, as Windows would resolve it.
bool StaysInside(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  if (!name.empty() && name[0] == '/') return false;
  const std::string joined = (fs::path("/folder") / name).lexically_normal().generic_string();
  return joined == "/folder" || joined.rfind("/folder/", 0) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path archive = kvx::fuzz::ScratchFolder() / "ARCHIVE.ZIP";
  kvx::fuzz::WriteWholeFile(archive, std::string_view(reinterpret_cast<const char*>(data), size));
  kvx::ArchiveDirectory directory;
  std::string error;
  if (!kvx::ReadArchiveDirectory(archive, directory, error)) {
    Expect(!error.empty() && !directory.IsHere() && directory.members.empty(), "a refusal says why and keeps nothing");
    return 0;
  }
  std::vector<std::string> names;
  for (const kvx::ArchiveMember& member : directory.members) names.push_back(member.name);
  Expect(directory.IsHere() || names.empty(), "members come only from a directory read here");
  const std::vector<std::string> refused = kvx::NamesWindowsCannotHold(names);
  kvx::RootEntries(names);
  if (!refused.empty()) return 0;
  for (const std::string& name : names) Expect(StaysInside(name), "a name the check lets through stays inside");
  return 0;
}
