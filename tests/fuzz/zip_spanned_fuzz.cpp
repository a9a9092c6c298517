// Fuzz target of the zip stand-in's reading of a set spanned over diskettes: the input is
// the diskettes' contents, one after the other, each ended by kVolumeEnd (the last needs
// none). The last diskette is in the drive first, as the person is told; the reader asks
// for the others by number, and a person who is asked for the same diskette three times,
// or for one the set does not have, presses Annuler. The members are counted, then
// extracted or tested (the last byte picks the options); nothing may leave the destination.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "standins/zip/diskette_drive.h"
#include "standins/zip/zip_reader.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/zip_scratch.h"

namespace {

namespace fs = std::filesystem;
using kvx::fuzz::Expect;

constexpr std::string_view kVolumeEnd = "\n--DISKETTE--\n";
constexpr size_t kMostVolumes = 8;
constexpr int kMostAsksForOne = 3;

class FuzzDrive final : public kvxzip::DisketteDrive {
 public:
  FuzzDrive(std::vector<std::string_view> volumes, fs::path archive)
      : volumes_(std::move(volumes)), archive_(std::move(archive)) {
    Insert(static_cast<uint32_t>(volumes_.size()));
  }
  bool Ask(kvxzip::DisketteQuestion question, uint32_t volume) override {
    if (question != kvxzip::DisketteQuestion::Insert) return false;
    if (volume == kvxzip::kLastDiskette) volume = static_cast<uint32_t>(volumes_.size());
    if (volume < 1 || volume > volumes_.size() || ++asked_[volume] > kMostAsksForOne) return false;
    Insert(volume);
    return true;
  }
  std::optional<uint64_t> Room() override { return std::nullopt; }
  bool HasContent(uint16_t) override { return true; }
  bool Empty(uint16_t) override { return false; }

 private:
  void Insert(uint32_t volume) { kvx::fuzz::WriteWholeFile(archive_, volumes_[volume - 1]); }

  std::vector<std::string_view> volumes_;
  fs::path archive_;
  std::map<uint32_t, int> asked_;
};

class Quiet final : public kvxzip::ReadObserver {
 public:
  bool Progress(const std::string&, int) override { return true; }
  void Problem(int32_t, const std::string&) override { ++problems; }
  int problems = 0;
};

std::vector<std::string_view> Volumes(std::string_view input) {
  std::vector<std::string_view> volumes;
  while (volumes.size() + 1 < kMostVolumes) {
    const size_t end = input.find(kVolumeEnd);
    if (end == std::string_view::npos) break;
    volumes.push_back(input.substr(0, end));
    input.remove_prefix(end + kVolumeEnd.size());
  }
  volumes.push_back(input);
  return volumes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const kvx::fuzz::ZipScratch& scratch = kvx::fuzz::ZipFolders();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const uint8_t options = size ? data[size - 1] : 0;
  const std::string archive = scratch.archive.string();

  FuzzDrive countDrive(Volumes(input), scratch.archive);
  Quiet counting;
  uint64_t count = 0;
  const kvxzip::ZipResult counted = kvxzip::CountMembers(archive, count, counting, &countDrive);

  FuzzDrive extractDrive(Volumes(input), scratch.archive);
  Quiet extracting;
  kvxzip::ExtractOptions extract;
  extract.destination = scratch.destination.string();
  extract.fileSpec = kvx::fuzz::FileSpecOf(options);
  extract.overwrite = options & 1;
  extract.recurse = options & 2;
  extract.noDirectoryNames = options & 4;
  extract.testOnly = options & 8;
  const kvxzip::ZipResult extracted = kvxzip::ExtractMembers(archive, extract, extracting, &extractDrive);
  Expect(counted == kvxzip::ZipResult::Ok || extracted != kvxzip::ZipResult::Ok,
         "a set that cannot be counted cannot be extracted");
  Expect(!extract.testOnly || fs::is_empty(scratch.destination), "a test writes nothing");
  kvx::fuzz::CheckExtractionStayedInside(scratch);
  return 0;
}
