// The track's data order: header, files of Entries padded to sectors, post-gap zeros.
#include <filesystem>
#include <fstream>

#include "burner/track_image.h"
#include "tests/burner/layout_fixture.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

class TrackDataTest : public LayoutTest {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kvx_track_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& data) {
    std::ofstream(dir_ / name, std::ios::binary) << data;
    return (dir_ / name).string();
  }
  bool Collect(std::string& error) {
    track_.clear();
    return WriteTrackData(layout, [&](const uint8_t* data, size_t size) {
      track_.append(reinterpret_cast<const char*>(data), size);
      return true;
    }, error);
  }

  fs::path dir_;
  std::string track_;
};

TEST_F(TrackDataTest, FilesFollowTheHeaderInEntriesOrderPaddedToSectors) {
  const std::string second(3000, 'b');
  ASSERT_EQ(layout.AddFile("\\", Write("one.txt", "first"), false), AddFileResult::Found);
  TISODirectory* sub = layout.CreateDirectory(Root(), "sub", kAttrDirectory);
  ASSERT_EQ(layout.AddFile("\\SUB", Write("empty.txt", ""), false), AddFileResult::Found);
  ASSERT_EQ(layout.AddFile("\\SUB", Write("two.bin", second), false), AddFileResult::Found);
  ASSERT_NE(sub, nullptr);
  layout.BuildImage(true);
  std::string error;
  ASSERT_TRUE(Collect(error)) << error;
  ASSERT_EQ(track_.size(), 300u * kSectorSize);  // post-gap up to 300 sectors
  EXPECT_EQ(track_.substr(0, layout.ImageHeader.size()),
            std::string(layout.ImageHeader.begin(), layout.ImageHeader.end()));
  EXPECT_EQ(track_.substr(150 * kSectorSize, kSectorSize), "first" + std::string(kSectorSize - 5, '\0'));
  EXPECT_EQ(track_.substr(151 * kSectorSize, 4096), second + std::string(4096 - 3000, '\0'));
  EXPECT_EQ(layout.Entries[3]->ISOExtent, 1u);
  EXPECT_EQ(track_.find_first_not_of('\0', 153 * kSectorSize), std::string::npos);
}

TEST_F(TrackDataTest, MissingOrShortenedSourceStopsTheTrack) {
  const std::string path = Write("gone.txt", "data");
  ASSERT_EQ(layout.AddFile("\\", path, false), AddFileResult::Found);
  layout.BuildImage(true);
  Write("gone.txt", "da");
  std::string error;
  EXPECT_FALSE(Collect(error));
  EXPECT_EQ(error, "CAN'T READ FILE \"" + path + "\"");
  fs::remove(path);
  EXPECT_FALSE(Collect(error));
  EXPECT_EQ(error, "CAN'T OPEN FILE \"" + path + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
}

}  // namespace
}  // namespace kvx
