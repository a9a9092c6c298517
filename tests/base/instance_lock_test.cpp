// One holder per folder: another spelling of the same folder meets the lock, another folder
// does not, and the lock is free again once its holder lets it go.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "base/instance_lock.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

TEST(InstanceLock, OneHolderPerFolderWhateverItsSpelling) {
  const fs::path folder = fs::temp_directory_path() / "KvxLockTest" / "OUTILS";
  const std::string plain = folder.string();
  std::string error;
  auto first = std::make_unique<InstanceLock>();
  ASSERT_TRUE(first->Acquire(plain, error)) << error;
  EXPECT_TRUE(first->Held());

  struct Case {
    std::string folder;
    bool free;
  };
  const fs::path parent = folder.parent_path();
  const Case cases[] = {
      {plain, false},
      {plain + "/", false},
      {(parent / "outils").string(), false},                   // letter case
      {(parent / "X" / ".." / "OUTILS").string(), false},      // another way there
      {(parent / "OUTILS2").string(), true},
      {parent.string(), true},
  };
  for (const Case& c : cases) {
    InstanceLock second;
    std::string why;
    EXPECT_EQ(second.Acquire(c.folder, why), c.free) << c.folder;
    EXPECT_EQ(why, "") << c.folder;  // refused because held, not because the lock failed
  }
  first.reset();
  InstanceLock again;
  EXPECT_TRUE(again.Acquire(plain, error)) << error;
}

TEST(InstanceLock, NamesAreOneForOneFolder) {
  EXPECT_EQ(InstanceLockName("/a/B/outils"), InstanceLockName("/A/b/OUTILS/"));
  EXPECT_NE(InstanceLockName("/a/b/outils"), InstanceLockName("/a/b/outil"));
  EXPECT_EQ(InstanceLockName("/a/b/outils").rfind("KVXOUTIL-", 0), 0u);
}

}  // namespace
}  // namespace kvx
