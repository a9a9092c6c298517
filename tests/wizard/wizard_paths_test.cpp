#include <gtest/gtest.h>

#include "wizard/wizard_paths.h"

namespace kvx {
namespace {

TEST(WizardPaths, DrivePartOfLocalAndNetworkTargets) {
  EXPECT_EQ(DrivePart("C:\\X\\SauveKVX.zip"), "C:");
  EXPECT_EQ(DrivePart("a:SauveKVX.zip"), "a:");
  EXPECT_EQ(DrivePart("\\\\SRV\\PARTAGE\\SauveKVX.zip"), "\\\\SRV\\PARTAGE");
  EXPECT_EQ(DrivePart("\\\\SRV\\PARTAGE"), "\\\\SRV\\PARTAGE");
  EXPECT_EQ(DrivePart("\\\\SRV"), "");
  EXPECT_EQ(DrivePart("XX\\SauveKVX.zip"), "");
  EXPECT_EQ(DrivePart("SauveKVX.zip"), "");
}

TEST(WizardPaths, FolderPartKeepsItsSeparator) {
  EXPECT_EQ(FolderPart("C:\\B\\SauveKVX.zip"), "C:\\B\\");
  EXPECT_EQ(FolderPart("A:SauveKVX.zip"), "A:");
  EXPECT_EQ(FolderPart("SauveKVX.zip"), "");
  EXPECT_EQ(WithSeparator("C:\\B"), "C:\\B\\");
  EXPECT_EQ(WithSeparator("C:\\B\\"), "C:\\B\\");
  EXPECT_EQ(WithSeparator(""), "\\");
}

}  // namespace
}  // namespace kvx
