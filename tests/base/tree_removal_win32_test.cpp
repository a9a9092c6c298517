// The tree removal over Win32: a junction goes as a link (std::filesystem's remove_all
// follows it here, _wstat64 not seeing reparse points), and a file another program holds
// open is told while the rest goes.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/tree_removal.h"
#include "base/win32_scope.h"
#include "tests/support/test_files.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

// The layout of a mount-point reparse buffer (ntifs.h, which mingw's headers lack).
struct MountPointBuffer {
  DWORD tag;
  WORD dataLength;
  WORD reserved;
  WORD substituteOffset;
  WORD substituteLength;
  WORD printOffset;
  WORD printLength;
  wchar_t paths[1];
};

// A junction at link to the folder target; false when the system cannot make one.
bool MakeJunction(const fs::path& link, const fs::path& target) {
  if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
  const std::wstring substitute = L"\\??\\" + fs::absolute(target).wstring(), print = fs::absolute(target).wstring();
  const std::size_t pathBytes = (substitute.size() + 1 + print.size() + 1) * sizeof(wchar_t);
  std::vector<std::byte> buffer(offsetof(MountPointBuffer, paths) + pathBytes);
  auto* point = reinterpret_cast<MountPointBuffer*>(buffer.data());
  point->tag = IO_REPARSE_TAG_MOUNT_POINT;
  point->dataLength = static_cast<WORD>(buffer.size() - 8);
  point->substituteLength = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
  point->printOffset = static_cast<WORD>(point->substituteLength + sizeof(wchar_t));
  point->printLength = static_cast<WORD>(print.size() * sizeof(wchar_t));
  std::memcpy(point->paths, substitute.c_str(), (substitute.size() + 1) * sizeof(wchar_t));
  std::memcpy(point->paths + substitute.size() + 1, print.c_str(), (print.size() + 1) * sizeof(wchar_t));
  const win32::ScopedHandle folder(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  DWORD returned = 0;
  return folder &&
         DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                         nullptr, 0, &returned, nullptr) &&
         (GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
}

class TreeRemovalWin32Test : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kvx-removal-w-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(root_);
    test::WriteWholeFileAndFolders(root_ / "OUTSIDE" / "KEEP.TXT", "kept");
    test::WriteWholeFileAndFolders(root_ / "TREE" / "SUB" / "PLAIN.FIC", "plain");
    SetFileAttributesW((root_ / "TREE" / "SUB").c_str(), FILE_ATTRIBUTE_READONLY);
  }
  void TearDown() override {
    std::error_code ignored;
    RemoveDirectoryW((root_ / "TREE" / "JUNCTION").c_str());
    fs::remove_all(root_, ignored);
  }

  fs::path root_;
};

// A junction, else a folder symbolic link: both are reparse points, removed as links.
TEST_F(TreeRemovalWin32Test, AJunctionGoesAsALink) {
  const fs::path link = root_ / "TREE" / "JUNCTION";
  if (!MakeJunction(link, root_ / "OUTSIDE")) {
    const DWORD junctionError = GetLastError();
    RemoveDirectoryW(link.c_str());
    if (!CreateSymbolicLinkW(link.c_str(), (root_ / "OUTSIDE").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
      GTEST_SKIP() << "this system makes neither a junction (error " << junctionError << ") nor a folder link (error "
                   << GetLastError() << ")";
  }
  std::string error;
  EXPECT_TRUE(RemoveTreeNoFollow(root_ / "TREE", error)) << error;
  EXPECT_EQ(GetFileAttributesW((root_ / "TREE").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(test::ReadWholeFile(root_ / "OUTSIDE" / "KEEP.TXT"), "kept");
}

TEST_F(TreeRemovalWin32Test, AFileHeldOpenIsToldAndTheRestGoes) {
  test::WriteWholeFile(root_ / "TREE" / "HELD.FIC", "held");
  const win32::ScopedHandle held(CreateFileW((root_ / "TREE" / "HELD.FIC").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held);
  std::string error;
  EXPECT_FALSE(RemoveTreeNoFollow(root_ / "TREE", error));
  EXPECT_EQ(error.rfind((root_ / "TREE" / "HELD.FIC").string() + " : ", 0), 0u) << error;
  EXPECT_FALSE(fs::exists(root_ / "TREE" / "SUB"));
}

}  // namespace
}  // namespace kvx
