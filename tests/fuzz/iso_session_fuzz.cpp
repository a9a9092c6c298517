// Fuzz target of bringing a disc's last session into a new one: the input is the disc from
// sector 16 on (volume descriptors, path tables, folders) as a unit reads it back; the
// sectors before it read as zeros and those after it cannot be read. A new session with a
// folder and files of its own is then laid out over it. A damaged or hostile tree must
// give a smaller tree or the "can't read" message: never a crash, a hang, or an
// allocation as large as a record says.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "burner/image_layout.h"
#include "burner/iso_records.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/iso_checks.h"

namespace {

using kvx::fuzz::Expect;

constexpr uint32_t kFirstInputSector = 16;
constexpr uint32_t kNewSessionStart = 3000;

class RecordedDisc : public kvx::LayoutDevice {
 public:
  RecordedDisc(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  kvx::scsi::DiscKind GetDiscType() override { return kvx::scsi::DiscKind::CDR; }
  bool ReadNextWritableAddress(uint32_t& startSector) override {
    startSector = kNewSessionStart;
    return true;
  }
  void SetDoDebug(bool) override {}
  void DebugMessage(const std::string&, uint8_t) override {}
  bool ReadLastSessionStart(uint32_t& sector) override {
    sector = 0;
    return true;
  }
  bool ReadSectors(uint32_t sector, uint16_t count, uint8_t* buffer) override {
    sectorsRead_ += count;
    Expect(sectorsRead_ <= kMostSectorsRead, "the import reads a bounded number of sectors");
    for (uint32_t s = sector; s < sector + count; ++s, buffer += kvx::kSectorSize) {
      std::memset(buffer, 0, kvx::kSectorSize);
      if (s < kFirstInputSector) continue;
      const size_t from = static_cast<size_t>(s - kFirstInputSector) * kvx::kSectorSize;
      if (from >= size_) return false;
      std::memcpy(buffer, data_ + from, std::min<size_t>(kvx::kSectorSize, size_ - from));
    }
    return true;
  }

 private:
  // Every folder read once, each at most the whole input: far below this.
  static constexpr uint64_t kMostSectorsRead = 1 << 20;
  const uint8_t* data_;
  size_t size_;
  uint64_t sectorsRead_ = 0;
};

kvx::FileSearchRecord NewFile(const char* name, uint64_t size) {
  kvx::FileSearchRecord record;
  record.Name = name;
  record.Size = size;
  record.Attributes = kvx::kAttrArchive;
  record.LastWrite = 132000000000000000ull;
  return record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RecordedDisc disc(data, size);
  kvx::ImageLayout layout(disc);
  layout.ResetImage(2000, 500);
  layout.ImportPreviousSession = true;
  kvx::TISODirectory* root = layout.Directories[0].get();
  kvx::TISODirectory* folder = layout.CreateDirectory(root, "DONNEES", kvx::kAttrDirectory);
  layout.AddSearchEntry(root, NewFile("KVX.ZIP", 5000), "/src/KVX.ZIP");
  layout.AddSearchEntry(folder, NewFile("Fichier.txt", 10), "/src/Fichier.txt");
  layout.BuildImage(false);
  Expect(layout.StartSector == kNewSessionStart, "the new session starts where the unit said");
  Expect(layout.Entries.size() <= 2000u + 500u, "the tree stays within its room");
  kvx::fuzz::CheckImageHeader(layout);
  return 0;
}
