// The 64-bit file streams over the system's file API.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "burner/stream_ex.h"
#include "tests/support/test_files.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

class StreamExTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kvx_stream_" + std::to_string(testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(StreamExTest, CreateWriteSeekReadAndResize) {
  const std::string path = Path("data.bin");
  {
    TFileStreamEx stream(path, kFileCreate);
    ASSERT_TRUE(stream.IsOpen()) << stream.OpenError();
    EXPECT_EQ(stream.Write("0123456789", 10), 10);
    EXPECT_EQ(stream.Seek(-4, kSeekFromCurrent), 6);
    char buffer[8] = {};
    EXPECT_EQ(stream.Read(buffer, 8), 4);  // up to the end only
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(stream.Seek(2, kSeekFromBeginning), 2);
    EXPECT_EQ(stream.GetSize(), 10);
    EXPECT_EQ(stream.Seek(0, kSeekFromCurrent), 2);  // GetSize keeps the position
    EXPECT_EQ(stream.Seek(-3, kSeekFromEnd), 7);
    EXPECT_EQ(stream.Read(buffer, 0), 0);
    EXPECT_TRUE(stream.SetSize(5));
    EXPECT_EQ(stream.GetSize(), 5);
    EXPECT_EQ(stream.Read(buffer, 8), 0);  // SetSize leaves the position at the new end
  }
  EXPECT_EQ(test::ReadWholeFile(path), "01234");
  {
    TFileStreamEx again(path, kFileCreate);  // creating truncates
    ASSERT_TRUE(again.IsOpen());
    EXPECT_EQ(again.GetSize(), 0);
  }
}

TEST_F(StreamExTest, PositionsBeyondFourGigabytes) {
  const std::string path = Path("large.bin");
  constexpr int64_t kLarge = (int64_t{5} << 30) + 123;
  {
    TFileStreamEx stream(path, kFileCreate);
    ASSERT_TRUE(stream.SetSize(kLarge));  // sparse on the file systems the tests run on
    EXPECT_EQ(stream.Seek((int64_t{4} << 30) + 7, kSeekFromBeginning), (int64_t{4} << 30) + 7);
    EXPECT_EQ(stream.Write("far", 3), 3);
  }
  TFileStreamEx stream(path, kFileOpenRead | kFileShareDenyNone);
  ASSERT_TRUE(stream.IsOpen());
  EXPECT_EQ(stream.GetSize(), kLarge);
  EXPECT_EQ(stream.Seek((int64_t{4} << 30) + 6, kSeekFromBeginning), (int64_t{4} << 30) + 6);
  char buffer[5] = {};
  EXPECT_EQ(stream.Read(buffer, 5), 5);
  EXPECT_EQ(std::string(buffer, 5), std::string("\0far\0", 5));
}

TEST_F(StreamExTest, ReadOnlyAndSharingModes) {
  const std::string path = Path("shared.txt");
  std::ofstream(path, std::ios::binary) << "shared";
  TFileStreamEx first(path, kFileOpenRead | kFileShareDenyNone);
  TFileStreamEx second(path, kFileOpenRead | kFileShareDenyNone);
  ASSERT_TRUE(first.IsOpen());
  ASSERT_TRUE(second.IsOpen());
  char buffer[6];
  EXPECT_EQ(second.Read(buffer, 6), 6);
  EXPECT_EQ(first.Write("x", 1), 0);  // opened for reading: writing fails with 0
  TFileStreamEx writer(path, kFileOpenReadWrite | kFileShareDenyNone);
  ASSERT_TRUE(writer.IsOpen());
  EXPECT_EQ(writer.Write("S", 1), 1);
}

TEST_F(StreamExTest, FailuresCarryTheEngineTexts) {
  const std::string missing = Path("missing.txt");
  TFileStreamEx open(missing, kFileOpenRead | kFileShareDenyNone);
  EXPECT_FALSE(open.IsOpen());
  EXPECT_EQ(open.OpenError(), "CAN'T OPEN FILE \"" + missing + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
  TFileStreamEx folder(dir_.string(), kFileOpenRead | kFileShareDenyNone);
  EXPECT_FALSE(folder.IsOpen());
  const std::string nowhere = Path("no/such/folder.bin");
  TFileStreamEx create(nowhere, kFileCreate);
  EXPECT_FALSE(create.IsOpen());
  EXPECT_EQ(create.OpenError(), "CAN'T CREATE FILE \"" + nowhere + "\"");
}

}  // namespace
}  // namespace kvx
