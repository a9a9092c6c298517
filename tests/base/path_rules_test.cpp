// The path rules a journal's paths are judged by: where a path leads as the system
// resolves it, compared as the system compares names.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/path_rules.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
const fs::path kFolder = L"C:\\KVX\\FIC01";
#else
const fs::path kFolder = "/kvx/FIC01";
#endif

TEST(PathRules, APathIsUnderAFolderAsTheSystemReadsIt) {
  struct Case {
    fs::path path;
    bool under;
  };
  const fs::path root = kFolder.root_path();
  const Case cases[] = {
      {kFolder / "CLIENTS.FIC", true},
      {kFolder / "IMAGES" / "LOGO.BMP", true},
      {kFolder, false},                                              // the folder itself
      {fs::path(kFolder.native() + fs::path("X").native()), false},  // FIC01X beside it
      {kFolder / ".." / "FIC01" / "CLIENTS.FIC", false},             // ".." is refused, even back inside
      {kFolder / "." / "CLIENTS.FIC", false},
      {kFolder / "CLI\x01NTS.FIC", false},  // a control character
      {root / "KVX" / "CLIENTS.FIC", false},
      {"FIC01/CLIENTS.FIC", false},  // relative
#ifdef _WIN32
      {L"c:\\kvx\\fic01\\CLIENTS.FIC", true},         // names without regard to case
      {L"C:/KVX/FIC01/CLIENTS.FIC", true},            // either separator
      {L"\\\\?\\C:\\KVX\\FIC01\\CLIENTS.FIC", true},  // the long form NativePath gives
      {L"C:\\KVX\\FIC01\\CLIENTS.FIC:flux", false},   // a stream
      {L"C:\\KVX\\FIC01\\*.FIC", false},              // a wildcard
      {L"C:\\KVX\\FIC01.\\CLIENTS.FIC", true},        // trailing dots go, as the system drops them
      {L"C:\\KVX\\FIC01\\CON", false},                // a device
#else
      {"/KVX/fic01/CLIENTS.FIC", false},  // names are bytes here
      {"/kvx//FIC01/CLIENTS.FIC", true},
#endif
  };
  for (const Case& entry : cases) EXPECT_EQ(PathUnder(entry.path, kFolder), entry.under) << entry.path;
  EXPECT_TRUE(SamePath(kFolder / "", kFolder));
  EXPECT_FALSE(SamePath(kFolder / "X", kFolder));
  EXPECT_FALSE(SamePath(kFolder / ".." / "FIC01", kFolder));
}

}  // namespace
}  // namespace kvx
