// The read-ahead cache: blocks, their order and sizes, padding, the bounded queue and
// its priorities, failures and abort.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "burner/cache_thread.h"
#include "burner/track_image.h"
#include "tests/burner/layout_fixture.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

class CacheThreadTest : public LayoutTest {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kvx_cache_" + std::to_string(testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, size_t size, char seed) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(seed + i * 7 + i / 2048);
    std::ofstream(dir_ / name, std::ios::binary) << data;
    return (dir_ / name).string();
  }
  void Add(const std::string& name, size_t size, char seed) {
    ASSERT_EQ(layout.AddFile("\\", Write(name, size, seed), false), AddFileResult::Found);
  }
  std::string Expected() {
    std::string track, error;
    EXPECT_TRUE(WriteTrackData(layout, [&](const uint8_t* data, size_t size) {
      track.append(reinterpret_cast<const char*>(data), size);
      return true;
    }, error)) << error;
    return track;
  }
  // Compares without printing megabytes: the size, then the first differing offset.
  static void ExpectSameBytes(const std::string& got, const std::string& want) {
    EXPECT_EQ(got.size(), want.size());
    const auto diff = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    EXPECT_TRUE(diff.first == got.end() && diff.second == want.end()) << "first difference at byte " << (diff.first - got.begin());
  }
  OwnedThread<TCacheThread> Start(uint32_t cacheSize = 4194304) {
    return MakeOwnedThread<TCacheThread>(cacheSize, layout.WritePostGap && layout.TrackSectors * kSectorSize < kShortTrackBytes,
                                         layout.TrackSectors * kSectorSize, layout.ImageHeader, layout.Entries, signal_);
  }
  // Takes every block as the writer does, waiting for the cache when it is behind.
  void Drain(TCacheThread& cache) {
    std::vector<uint8_t> buffer(kCacheBlockBytes);
    for (;;) {
      const int32_t n = cache.GetBlock(buffer.data());
      if (n == 0) return;
      if (n < 0) {
        signal_.Wait();
        continue;
      }
      sizes_.push_back(n);
      data_.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(n));
    }
  }

  fs::path dir_;
  Event signal_{false};
  std::vector<int32_t> sizes_;
  std::string data_;
};

TEST_F(CacheThreadTest, BlocksCarryTheTrackInLayoutOrder) {
  // Enough folders to make the header end inside its second block.
  for (int i = 0; i < 900; ++i) layout.CreateDirectory(Root(), "folder" + std::to_string(i), kAttrDirectory);
  Add("a.bin", 3000, 'a');
  Add("b.bin", 200000, 'b');
  Add("empty.bin", 0, 'e');
  Add("c.bin", 70001, 'c');
  layout.BuildImage(true);
  const std::string expected = Expected();
  const int64_t header = static_cast<int64_t>(layout.ImageHeader.size());
  ASSERT_GT(header, kCacheBlockBytes * 4);
  ASSERT_GE(layout.TrackSectors, 300);  // no padding
  auto cache = Start();
  Drain(*cache);
  ExpectSameBytes(data_, expected);
  EXPECT_TRUE(cache->Status().empty());
  // The header in whole blocks and a rest; the files packed from a fresh block; the
  // last block as far as it was filled.
  std::vector<int32_t> want;
  for (int64_t left = header; left > 0; left -= kCacheBlockBytes) want.push_back(static_cast<int32_t>(std::min<int64_t>(left, kCacheBlockBytes)));
  for (int64_t left = (2 + 98 + 35) * kSectorSize; left > 0; left -= kCacheBlockBytes)
    want.push_back(static_cast<int32_t>(std::min<int64_t>(left, kCacheBlockBytes)));
  EXPECT_EQ(sizes_, want);
  EXPECT_TRUE(layout.ImageHeader.empty());  // released once queued
  EXPECT_TRUE(cache->FinishedEvent()->Wait(10000));
  EXPECT_TRUE(cache->Finished());
}

TEST_F(CacheThreadTest, ShortTrackIsPaddedToThreeHundredSectors) {
  Add("small.bin", 5000, 's');
  layout.BuildImage(true);
  ASSERT_EQ(layout.TrackSectors, 153);
  const std::string expected = Expected();
  ASSERT_EQ(expected.size(), 614400u);
  auto cache = Start();
  Drain(*cache);
  ExpectSameBytes(data_, expected);
  // Header (150 sectors), the file (3 sectors), then 147 zero sectors in blocks of 31.
  EXPECT_EQ(sizes_, (std::vector<int32_t>{63488, 63488, 63488, 63488, 26 * 2048, 3 * 2048, 63488, 63488, 63488, 63488,
                                          23 * 2048}));

  layout.ResetImage(65535, 8191);
  Add("small.bin", 5000, 's');
  layout.WritePostGap = false;
  layout.BuildImage(true);
  sizes_.clear();
  data_.clear();
  auto unpadded = Start();
  Drain(*unpadded);
  EXPECT_EQ(data_.size(), 153u * kSectorSize);
}

TEST_F(CacheThreadTest, QueueStaysBelowMaxBlocksAndPriorityFollowsItsLength) {
  Add("big.bin", 40 * kCacheBlockBytes, 'g');
  layout.BuildImage(true);
  const std::string expected = Expected();
  auto cache = Start(2097152);
  EXPECT_EQ(cache->MaxBlocks(), 32u);
  cache->WaitUntilSettled();
  EXPECT_TRUE(cache->Ready());  // the queue filled before everything was read
  // Nobody takes blocks: the cache waits at idle priority with a full queue.
  while (cache->PriorityLevel() != kCacheIdle) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(cache->Priority(), ThreadPriority::Idle);
  EXPECT_EQ(cache->PeakBlocks(), 31u);
  // Taken blocks let it read again, never beyond 31 queued blocks.
  Drain(*cache);
  EXPECT_EQ(cache->PeakBlocks(), 31u);
  ExpectSameBytes(data_, expected);

  EXPECT_EQ(CachePriorityLevel(0, 64), kCacheNormal);
  EXPECT_EQ(CachePriorityLevel(15, 64), kCacheNormal);
  EXPECT_EQ(CachePriorityLevel(16, 64), kCacheLower);
  EXPECT_EQ(CachePriorityLevel(31, 64), kCacheLower);
  EXPECT_EQ(CachePriorityLevel(32, 64), kCacheLowest);
  EXPECT_EQ(CachePriorityLevel(62, 64), kCacheLowest);
}

TEST_F(CacheThreadTest, SourceFileGoneAfterLayoutStopsWithItsPath) {
  Add("a.bin", 1000, 'a');
  Add("gone.bin", 1000, 'g');
  layout.BuildImage(true);
  const std::string gone = layout.Entries[1]->SourcePath;
  fs::remove(gone);
  auto cache = Start();
  cache->WaitUntilSettled();
  EXPECT_FALSE(cache->Ready());
  EXPECT_EQ(cache->Status(), "CAN'T OPEN FILE \"" + gone + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
  EXPECT_EQ(cache->CurrentFile(), gone);
  EXPECT_TRUE(cache->FinishedEvent()->Wait(10000));
  Drain(*cache);  // what was queued still comes, then the end
  EXPECT_LT(data_.size(), layout.TrackSectors * kSectorSize);
}

TEST_F(CacheThreadTest, SourceFileShortenedAfterLayoutIsAReadError) {
  Add("shrinks.bin", 10000, 'a');
  layout.BuildImage(true);
  const std::string path = Write("shrinks.bin", 9000, 'a');
  auto cache = Start();
  Drain(*cache);
  EXPECT_EQ(cache->Status(), "CAN'T READ FILE \"" + path + "\"");
}

TEST_F(CacheThreadTest, AbortStopsReadingAndDropsTheQueue) {
  Add("big.bin", 100 * kCacheBlockBytes, 'g');
  layout.BuildImage(true);
  auto cache = Start();
  cache->WaitUntilSettled();
  std::vector<uint8_t> buffer(kCacheBlockBytes);
  ASSERT_GT(cache->GetBlock(buffer.data()), 0);
  cache->Abort();
  EXPECT_TRUE(cache->FinishedEvent()->Wait(10000));
  EXPECT_EQ(cache->GetBlock(buffer.data()), 0);
  EXPECT_EQ(cache->Status(), "OPERATION ABORTED BY USER");

  // A status set by the writer before the abort stays.
  sizes_.clear();
  auto second = Start();
  second->WaitUntilSettled();
  second->SetStatus("WRITER BUSY/BUFFER FULL");
  second->Abort();
  EXPECT_EQ(second->GetBlock(buffer.data()), 0);
  EXPECT_EQ(second->Status(), "WRITER BUSY/BUFFER FULL");
}

}  // namespace
}  // namespace kvx
