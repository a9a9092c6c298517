// A recorder stand-in for the layout and helpers to read the rendered header back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "base/date_time.h"
#include "burner/image_layout.h"
#include "burner/iso_records.h"

namespace kvx {

class FakeDisc : public LayoutDevice {
 public:
  scsi::DiscKind Type = scsi::DiscKind::CDR;
  bool AddressReadable = true;
  uint32_t NextWritable = 0;
  int AddressQueries = 0;
  bool DoDebug = false;
  std::vector<std::pair<std::string, int>> Messages;

  scsi::DiscKind GetDiscType() override { return Type; }
  bool ReadNextWritableAddress(uint32_t& startSector) override {
    ++AddressQueries;
    startSector = NextWritable;
    return AddressReadable;
  }
  void SetDoDebug(bool value) override { DoDebug = value; }
  void DebugMessage(const std::string& message, uint8_t mType) override { Messages.emplace_back(message, mType); }

  // An earlier session: the disc's sectors from 0, and where its last session starts.
  std::vector<uint8_t> Recorded;
  bool HasSession = false;
  uint32_t SessionStart = 0;
  bool ReadLastSessionStart(uint32_t& sector) override {
    sector = SessionStart;
    return HasSession;
  }
  size_t SectorsRead = 0;
  bool ReadSectors(uint32_t sector, uint16_t count, uint8_t* buffer) override {
    SectorsRead += count;
    const size_t from = static_cast<size_t>(sector) * kSectorSize, size = static_cast<size_t>(count) * kSectorSize;
    if (from + size > Recorded.size()) return false;
    std::copy(Recorded.begin() + from, Recorded.begin() + from + size, buffer);
    return true;
  }
};

class LayoutTest : public testing::Test {
 protected:
  LayoutTest() : layout(disc) { layout.ResetImage(65535, 8191); }

  static FileSearchRecord File(const std::string& name, uint64_t size, uint32_t attributes = kAttrArchive) {
    FileSearchRecord record;
    record.Name = name;
    record.Attributes = attributes;
    record.Size = size;
    record.LastWrite = FileTimeOfCivil({2024, 1, 15, 12, 30, 45, 0});
    return record;
  }
  TISODirectory* Root() { return layout.Directories[0].get(); }
  bool Add(TISODirectory* dir, const std::string& name, uint64_t size) {
    return layout.AddSearchEntry(dir, File(name, size), "/src/" + name);
  }

  // Bytes of the header at an absolute disc sector.
  const uint8_t* Sector(int64_t sector) const {
    const int64_t offset = (sector - layout.StartSector) * kSectorSize;
    EXPECT_GE(offset, 0);
    EXPECT_LE(offset + kSectorSize, static_cast<int64_t>(layout.ImageHeader.size()));
    return layout.ImageHeader.data() + offset;
  }
  static uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
  static uint32_t Be32(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
  // A both-endian field whose halves agree.
  static uint32_t Both32(const uint8_t* p) {
    EXPECT_EQ(Le32(p), Be32(p + 4));
    return Le32(p);
  }
  static std::string Text(const uint8_t* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

  // Records of one folder's sectors, "." and ".." included, with their byte offsets.
  struct Record {
    size_t Offset;
    const uint8_t* Bytes;
    std::string Identifier;
  };
  std::vector<Record> Records(int64_t firstSector, int64_t size) const {
    std::vector<Record> out;
    const uint8_t* base = Sector(firstSector);
    for (int64_t offset = 0; offset < size;) {
      const uint8_t length = base[offset];
      if (length == 0) {
        offset = (offset / kSectorSize + 1) * kSectorSize;
        continue;
      }
      out.push_back({static_cast<size_t>(offset), base + offset, Text(base + offset + 33, base[offset + 32])});
      offset += length;
    }
    return out;
  }

  FakeDisc disc;
  ImageLayout layout;
};

}  // namespace kvx
