// Taking the current folder off the library search path. A program of its own: the
// change lasts for the rest of the process.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "base/folders.h"

namespace kvx {
namespace {

TEST(LibrarySearch, TheCurrentFolderIsSearchedNoMore) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::filesystem::path folder = std::filesystem::path(temp) / "kvx_library_search";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  // Any library will do; this one does nothing when loaded without its marker variable.
  std::filesystem::copy_file(ProgramFolder() + "KVXDECOY.DLL", folder / "STRAYLIB.DLL");
  CurrentFolderGuard keep;
  ASSERT_TRUE(SetCurrentFolder(folder.string()));

  HMODULE stray = LoadLibraryA("STRAYLIB.DLL");
  ASSERT_NE(stray, nullptr) << "the search did not reach the current folder to begin with";
  FreeLibrary(stray);

  KeepCurrentFolderOffLibrarySearch();
  EXPECT_EQ(LoadLibraryA("STRAYLIB.DLL"), nullptr);
  // The program's folder and the system folder are still searched.
  HMODULE beside = LoadLibraryA("KVXDECOY.DLL");
  EXPECT_NE(beside, nullptr);
  HMODULE system = LoadLibraryA("version.dll");
  EXPECT_NE(system, nullptr);
  FreeLibrary(beside);
  FreeLibrary(system);

  SetCurrentFolder(keep.Saved());
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace kvx
