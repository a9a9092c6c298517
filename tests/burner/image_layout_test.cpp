// The rendered header sector by sector: positions, descriptors, path tables, records.
#include <cstdlib>
#include <cstring>

#include "base/local_time.h"
#include "tests/burner/layout_fixture.h"

namespace kvx {
namespace {

TEST_F(LayoutTest, EmptyTreeWithJolietOnABlankDisc) {
  layout.BuildImage(true);
  EXPECT_EQ(layout.PrimaryDescriptorPos, 16 * kSectorSize);
  EXPECT_EQ(layout.JolietDescriptorPos, 17 * kSectorSize);
  EXPECT_EQ(layout.TerminatorPos, 18 * kSectorSize);
  EXPECT_EQ(layout.ISOPathTableLPos, 19 * kSectorSize);
  EXPECT_EQ(layout.ISOPathTableMPos, 20 * kSectorSize);
  EXPECT_EQ(layout.JolietPathTableLPos, 21 * kSectorSize);
  EXPECT_EQ(layout.JolietPathTableMPos, 22 * kSectorSize);
  EXPECT_EQ(layout.ISODirRecordsPos, 23 * kSectorSize);
  EXPECT_EQ(layout.JolietDirRecordsPos, 24 * kSectorSize);
  EXPECT_EQ(layout.HeaderPadding, (150 - 25) * kSectorSize);
  EXPECT_EQ(layout.FirstFilePos, 150 * kSectorSize);
  EXPECT_EQ(layout.FileSectors, 0);
  EXPECT_EQ(layout.TrackSectors, 150);
  EXPECT_EQ(layout.GetTrackSize(), 300);
  ASSERT_EQ(layout.ImageHeader.size(), 150u * kSectorSize);

  for (int s = 0; s < 16; ++s)
    for (int i = 0; i < kSectorSize; ++i) ASSERT_EQ(Sector(s)[i], 0) << s;
  const uint8_t terminator[7] = {255, 'C', 'D', '0', '0', '1', 1};
  EXPECT_EQ(std::memcmp(Sector(18), terminator, 7), 0);
  // One 10-byte root record per path table: extent of the tree's record area, parent 1.
  const uint8_t isoL[10] = {1, 0, 23, 0, 0, 0, 1, 0, 0, 0};
  const uint8_t isoM[10] = {1, 0, 0, 0, 0, 23, 0, 1, 0, 0};
  const uint8_t jolietL[10] = {1, 0, 24, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(std::memcmp(Sector(19), isoL, 10), 0);
  EXPECT_EQ(std::memcmp(Sector(20), isoM, 10), 0);
  EXPECT_EQ(std::memcmp(Sector(21), jolietL, 10), 0);
  EXPECT_EQ(layout.ISOPathTableSize, 10);
  // Root records: only "." and "..", pointing at themselves.
  const auto iso = Records(23, kSectorSize);
  ASSERT_EQ(iso.size(), 2u);
  EXPECT_EQ(iso[0].Identifier, std::string(1, '\0'));
  EXPECT_EQ(iso[1].Identifier, "\x01");
  EXPECT_EQ(Both32(iso[1].Bytes + 2), 23u);
  EXPECT_EQ(Both32(Records(24, kSectorSize)[0].Bytes + 2), 24u);
  for (int s = 25; s < 150; ++s) ASSERT_EQ(Sector(s)[0], 0);
  EXPECT_TRUE(disc.DoDebug);
}

TEST_F(LayoutTest, PrimaryAndJolietDescriptorFields) {
  layout.IdVolume = "Sauve kvx";
  layout.IdApplication = "kvxoutil";
  layout.FileCopyright = "copy.txt";
  ASSERT_TRUE(Add(Root(), "a.zip", 5000));
  layout.BuildImage(true);

  const uint8_t* pvd = Sector(16);
  EXPECT_EQ(Text(pvd, 7), std::string("\x01" "CD001\x01", 7));
  EXPECT_EQ(Text(pvd + 40, 32), "SAUVE_KVX" + std::string(23, ' '));  // d-characters only
  EXPECT_EQ(Text(pvd + 8, 32), std::string(32, ' '));
  EXPECT_EQ(Both32(pvd + 80), 153u);
  EXPECT_EQ(Text(pvd + 88, 32), std::string(32, '\0'));  // escape sequences only in the Joliet descriptor
  EXPECT_EQ(Text(pvd + 120, 12), std::string("\1\0\0\1\1\0\0\1\0\x08\x08\0", 12));
  EXPECT_EQ(Both32(pvd + 132), 10u);
  EXPECT_EQ(Le32(pvd + 140), 19u);
  EXPECT_EQ(Be32(pvd + 148), 20u);
  EXPECT_EQ(pvd[156], 34);
  EXPECT_EQ(Both32(pvd + 156 + 2), 23u);
  EXPECT_EQ(Both32(pvd + 156 + 10), 2048u);
  EXPECT_GE(pvd[156 + 18], 126);  // the root record is dated now, with the offset from GMT
  EXPECT_EQ(pvd[156 + 24], static_cast<uint8_t>(layout.GMTOffset));
  EXPECT_EQ(pvd[156 + 25], 2);
  EXPECT_EQ(Text(pvd + 574, 8), "KVXOUTIL");
  EXPECT_EQ(Text(pvd + 702, 37), "COPY.TXT" + std::string(29, ' '));
  EXPECT_EQ(Text(pvd + 813, 17), std::string("0000000000000000\0", 17));  // no date: not specified
  EXPECT_EQ(Text(pvd + 847, 17), std::string("0000000000000000\0", 17));
  EXPECT_EQ(pvd[881], 1);
  EXPECT_EQ(Text(pvd + 1024, 8), "        ");

  const uint8_t* svd = Sector(17);
  EXPECT_EQ(svd[0], 2);
  EXPECT_EQ(Text(svd + 88, 3), "%/@");
  EXPECT_EQ(Text(svd + 40, 20), std::string("\0S\0a\0u\0v\0e\0 \0k\0v\0x\0 ", 20));
  EXPECT_EQ(Both32(svd + 80), 153u);
  EXPECT_EQ(Le32(svd + 140), 21u);
  EXPECT_EQ(Be32(svd + 148), 22u);
  EXPECT_EQ(Both32(svd + 156 + 2), 24u);
  EXPECT_EQ(Text(svd + 702, 4), std::string("\0c\0o", 4));
  EXPECT_EQ(svd[702 + 36], 0);
  EXPECT_EQ(svd[702 + 35], ' ');
}

TEST_F(LayoutTest, WithoutJolietTheFirstFileStillStartsAtSector150) {
  layout.JolietFileSystem = false;
  ASSERT_TRUE(Add(Root(), "a.zip", 1));
  layout.BuildImage(true);
  EXPECT_EQ(layout.TerminatorPos, 17 * kSectorSize);
  EXPECT_EQ(layout.ISOPathTableLPos, 18 * kSectorSize);
  EXPECT_EQ(layout.ISOPathTableMPos, 19 * kSectorSize);
  EXPECT_EQ(layout.ISODirRecordsPos, 20 * kSectorSize);
  EXPECT_EQ(layout.FirstFilePos, 150 * kSectorSize);
  EXPECT_EQ(Sector(17)[0], 255);
  EXPECT_EQ(Both32(Records(20, kSectorSize)[2].Bytes + 2), 150u);
}

TEST_F(LayoutTest, OneFileInTheRootInBothTrees) {
  ASSERT_TRUE(Add(Root(), "Sauve.zip", 5000));
  layout.BuildImage(true);
  EXPECT_EQ(layout.TrackSectors, 153);
  EXPECT_EQ(layout.EndSector, 153);
  EXPECT_EQ(layout.ImageHeader.size(), 150u * kSectorSize);

  const auto iso = Records(23, kSectorSize);
  ASSERT_EQ(iso.size(), 3u);
  EXPECT_EQ(iso[2].Offset, 68u);
  EXPECT_EQ(iso[2].Identifier, "SAUVE.ZIP;1");
  EXPECT_EQ(iso[2].Bytes[0], 33 + 11);
  EXPECT_EQ(Both32(iso[2].Bytes + 2), 150u);
  EXPECT_EQ(Both32(iso[2].Bytes + 10), 5000u);
  EXPECT_EQ(iso[2].Bytes[25], 0);
  EXPECT_EQ(Text(iso[2].Bytes + 28, 4), std::string("\1\0\0\1", 4));

  const auto joliet = Records(24, kSectorSize);
  ASSERT_EQ(joliet.size(), 3u);
  EXPECT_EQ(joliet[2].Identifier, std::string("\0S\0a\0u\0v\0e\0.\0z\0i\0p\0;\0" "1", 22));
  EXPECT_EQ(joliet[2].Bytes[0], 33 + 22 + 1);  // even identifier: one padding byte
  EXPECT_EQ(Both32(joliet[2].Bytes + 2), 150u);
}

TEST_F(LayoutTest, NameWithoutDotAndEmptyFileAndHiddenFlag) {
  ASSERT_TRUE(Add(Root(), "README", 10));
  ASSERT_TRUE(Add(Root(), "empty.dat", 0));
  ASSERT_TRUE(layout.AddSearchEntry(Root(), File("secret.txt", 3, kAttrArchive | kAttrHidden), "/src/secret.txt"));
  layout.BuildImage(true);
  EXPECT_EQ(layout.FileSectors, 2);
  const auto iso = Records(23, kSectorSize);
  ASSERT_EQ(iso.size(), 5u);
  EXPECT_EQ(iso[2].Identifier, "EMPTY.DAT;1");  // records sorted by identifier
  EXPECT_EQ(iso[3].Identifier, "README.;1");
  EXPECT_EQ(Both32(iso[2].Bytes + 2), 0u);
  EXPECT_EQ(Both32(iso[2].Bytes + 10), 0u);
  EXPECT_EQ(Both32(iso[3].Bytes + 2), 150u);
  EXPECT_EQ(Both32(iso[4].Bytes + 2), 151u);  // the empty file took no sector
  EXPECT_EQ(iso[4].Bytes[25], 1);
  EXPECT_EQ(Records(24, kSectorSize)[2].Identifier, std::string("\0R\0E\0A\0D\0M\0E\0.\0;\0" "1", 18));
}

TEST_F(LayoutTest, RecordThatFillsASectorExactlyPushesTheNextOneOver) {
  // Joliet identifiers of 16 characters give 66-byte records; 30 of them fill the 1980
  // bytes after "." and "..".
  for (int i = 0; i < 31; ++i) {
    char name[40];
    std::snprintf(name, sizeof name, "F%09d.TXT", i);
    ASSERT_TRUE(Add(Root(), name, 1));
  }
  layout.BuildImage(true);
  EXPECT_EQ(Root()->ISOSize, kSectorSize);
  EXPECT_EQ(Root()->JolietSize, 2 * kSectorSize);
  const auto joliet = Records(24, Root()->JolietSize);
  ASSERT_EQ(joliet.size(), 33u);
  EXPECT_EQ(joliet[31].Offset, 2048u - 66);
  EXPECT_EQ(joliet[32].Offset, 2048u);
}

TEST_F(LayoutTest, RecordThatDoesNotFitLeavesZerosToTheSectorEnd) {
  for (int i = 0; i < 31; ++i) {
    char name[40];
    std::snprintf(name, sizeof name, "G%010d.TXT", i);  // 68-byte Joliet records
    ASSERT_TRUE(Add(Root(), name, 1));
  }
  layout.BuildImage(true);
  const auto joliet = Records(24, Root()->JolietSize);
  ASSERT_EQ(joliet.size(), 33u);
  EXPECT_EQ(joliet[30].Offset, 68u + 28 * 68);
  EXPECT_EQ(joliet[31].Offset, 2048u);  // 2040 bytes used: the next record would pass the sector end
  EXPECT_EQ(Text(Sector(24) + 2040, 8), std::string(8, '\0'));
}

TEST_F(LayoutTest, PathTableEndingOnASectorBoundaryGetsNoExtraSector) {
  // 10 + 126 × 16 + 12 + 10 = 2048 bytes.
  for (int i = 0; i < 126; ++i) {
    char name[20];
    std::snprintf(name, sizeof name, "FOLD%04d", i);
    ASSERT_NE(layout.CreateDirectory(Root(), name, kAttrDirectory), nullptr);
  }
  ASSERT_NE(layout.CreateDirectory(Root(), "ZZ", kAttrDirectory), nullptr);
  ASSERT_NE(layout.CreateDirectory(Root(), "LAST", kAttrDirectory), nullptr);
  layout.BuildImage(true);
  EXPECT_EQ(layout.ISOPathTableSize, 2048);
  EXPECT_EQ(layout.ISOPathTableMPos, 20 * kSectorSize);
  EXPECT_EQ(layout.JolietPathTableLPos, 21 * kSectorSize);
  EXPECT_EQ(Sector(20)[0], 1);  // the M table starts right there
  // The last record ends the L table exactly at the boundary.
  EXPECT_EQ(Text(Sector(19) + 2048 - 2, 2), "ZZ");
}

// Each tree numbers its folders by its own identifiers.
TEST_F(LayoutTest, PathTableOrderFollowsEachTreesNamesLevelByLevel) {
  TISODirectory* abd = layout.CreateDirectory(Root(), "ABD", kAttrDirectory);
  TISODirectory* abc = layout.CreateDirectory(Root(), "abc", kAttrDirectory);
  TISODirectory* a = layout.CreateDirectory(Root(), "A", kAttrDirectory);
  TISODirectory* deep = layout.CreateDirectory(abd, "z", kAttrDirectory);
  TISODirectory* early = layout.CreateDirectory(a, "y", kAttrDirectory);
  layout.BuildImage(true);
  const std::vector<TISODirectory*> expected = {Root(), a, abc, abd, early, deep};
  EXPECT_EQ(layout.ISOPathOrder, expected);
  EXPECT_EQ(layout.JolietPathOrder, (std::vector<TISODirectory*>{Root(), a, abd, abc, early, deep}));
  EXPECT_EQ(deep->Number, 6u);
  EXPECT_EQ(abd->Number, 4u);
  EXPECT_EQ(abd->JolietNumber, 3u);

  // ISO L table: root, A, ABC, ABD, Y (parent 2), Z (parent 4), with the records' extents.
  const uint8_t* table = Sector(19);
  size_t offset = 10;
  const char* names[] = {"A", "ABC", "ABD", "Y", "Z"};
  const int parents[] = {1, 1, 1, 2, 4};
  for (int i = 0; i < 5; ++i) {
    const size_t len = table[offset];
    EXPECT_EQ(Text(table + offset + 8, len), names[i]);
    EXPECT_EQ(table[offset + 6], parents[i]);
    EXPECT_EQ(Le32(table + offset + 2), 23 + expected[i + 1]->ISOSector);
    offset += 8 + len + len % 2;
  }
  EXPECT_EQ(static_cast<int64_t>(offset), layout.ISOPathTableSize);
  // Joliet M table: UTF-16 names, big-endian numbers; z's parent ABD is number 3 there.
  const uint8_t* jolietM = Sector(22);
  EXPECT_EQ(jolietM[10], 2);
  EXPECT_EQ(Text(jolietM + 18, 2), std::string("\0A", 2));
  EXPECT_EQ(jolietM[10 + 7], 1);
  const size_t z = 10 + 10 + 14 + 14 + 10;
  EXPECT_EQ(Text(jolietM + z + 8, 2), std::string("\0z", 2));
  EXPECT_EQ(jolietM[z + 7], 3);
}

TEST_F(LayoutTest, SecondSessionAddressesAreAbsoluteAndNeedNoPadding) {
  disc.NextWritable = 40000;
  ASSERT_TRUE(Add(Root(), "a.zip", 3000));
  layout.BuildImage(false);
  EXPECT_EQ(disc.AddressQueries, 1);
  EXPECT_EQ(layout.StartSector, 40000u);
  EXPECT_EQ(layout.PrimaryDescriptorPos, 40016 * kSectorSize);
  EXPECT_LT(layout.HeaderPadding, 0);
  EXPECT_EQ(layout.FirstFilePos, 40025 * kSectorSize);
  EXPECT_EQ(static_cast<int64_t>(layout.ImageHeader.size()), layout.FirstFilePos - 40000 * kSectorSize);
  EXPECT_EQ(layout.TrackSectors, 27);
  EXPECT_EQ(layout.GetTrackSize(), 300);
  EXPECT_EQ(Both32(Sector(40016) + 80), 40027u);  // the volume ends with the track
  EXPECT_EQ(Le32(Sector(40016) + 140), 40019u);
  EXPECT_EQ(Both32(Records(40023, kSectorSize)[2].Bytes + 2), 40025u);
}

TEST_F(LayoutTest, DiscQueryRules) {
  disc.AddressReadable = false;
  disc.NextWritable = 777;
  layout.ComputeLayout(false);
  EXPECT_EQ(layout.StartSector, 0u);
  ASSERT_EQ(disc.Messages.size(), 1u);
  EXPECT_EQ(disc.Messages[0], std::make_pair(std::string(">>> ERROR GETTING NEXT WRITABLE ADDRESS"), 0));
  EXPECT_FALSE(disc.DoDebug);

  disc.AddressReadable = true;
  disc.NextWritable = 0xFF000001u;
  layout.ComputeLayout(false);
  EXPECT_EQ(layout.StartSector, 0u);

  disc.Type = scsi::DiscKind::DVDPlusR;
  disc.NextWritable = 500;
  layout.ComputeLayout(false);
  EXPECT_EQ(disc.AddressQueries, 2);
  EXPECT_EQ(layout.StartSector, 0u);
  EXPECT_EQ(layout.DiscType, scsi::DiscKind::DVDPlusR);
}

TEST_F(LayoutTest, FilesOfFourGigabytesAndMoreAreMultiExtent) {
  const uint64_t big = (5ull << 30) + 100;
  ASSERT_TRUE(Add(Root(), "big.bin", big));
  ASSERT_TRUE(Add(Root(), "after.txt", 1));
  layout.BuildImage(true);
  const int64_t bigSectors = static_cast<int64_t>((big + 2047) / 2048);
  EXPECT_EQ(layout.FileSectors, bigSectors + 1);
  for (int64_t area : {23, 24}) {
    const auto records = Records(area, kSectorSize);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[3].Identifier, records[4].Identifier);
    EXPECT_EQ(records[3].Bytes[25], kFlagMultiExtent);
    EXPECT_EQ(Both32(records[3].Bytes + 2), 150u);
    EXPECT_EQ(Both32(records[3].Bytes + 10), 0xFFFFF800u);
    EXPECT_EQ(records[4].Bytes[25], 0);
    EXPECT_EQ(Both32(records[4].Bytes + 2), 150u + 0xFFFFF800u / 2048);
    EXPECT_EQ(Both32(records[4].Bytes + 10), big - 0xFFFFF800u);
    EXPECT_EQ(Both32(records[2].Bytes + 2), 150u + bigSectors);  // "after" sorts first
  }
}

TEST_F(LayoutTest, DescriptorDatesCarryHundredths) {
  layout.DateCreation = EncodeDateTime({2024, 2, 29, 13, 14, 15, 70});
  layout.DateModification = EncodeDateTime({2031, 12, 1, 0, 0, 5, 990});
  layout.BuildImage(true);
  EXPECT_EQ(Text(Sector(16) + 813, 17), std::string("2024022913141507\0", 17));
  EXPECT_EQ(Text(Sector(16) + 830, 17), std::string("2031120100000599\0", 17));
  EXPECT_EQ(Text(Sector(17) + 813, 16), "2024022913141507");
}

#ifndef _WIN32
// Every record carries the offset from GMT in effect at its own date.
TEST_F(LayoutTest, RecordingDatesAreLocalWithTheirOwnOffset) {
  setenv("TZ", "Europe/Paris", 1);
  tzset();
  FileSearchRecord winter = File("winter.txt", 1);
  FileSearchRecord summer = File("summer.txt", 1);
  summer.LastWrite = FileTimeOfCivil({2024, 7, 15, 12, 30, 45, 0});
  layout.ResetImage(10, 10);
  EXPECT_EQ(layout.GMTOffset, LocalNow().GmtOffsetMinutes / 15);
  EXPECT_TRUE(layout.GMTOffset == 4 || layout.GMTOffset == 8);
  ASSERT_TRUE(layout.AddSearchEntry(Root(), winter, "/w"));
  ASSERT_TRUE(layout.AddSearchEntry(Root(), summer, "/s"));
  layout.BuildImage(true);
  unsetenv("TZ");
  tzset();
  const auto iso = Records(23, kSectorSize);
  // "." and ".." carry the time of the layout with the offset in effect then.
  EXPECT_EQ(iso[0].Bytes[24], static_cast<uint8_t>(layout.GMTOffset));
  EXPECT_EQ(iso[1].Bytes[24], static_cast<uint8_t>(layout.GMTOffset));
  EXPECT_EQ(Text(iso[3].Bytes + 18, 7), std::string("\x7C\x01\x0F\x0D\x1E\x2D\x04", 7));  // winter
  EXPECT_EQ(Text(iso[2].Bytes + 18, 7), std::string("\x7C\x07\x0F\x0E\x1E\x2D\x08", 7));  // summer
}

// 02:30 on 27 October 2024 happens twice in Paris: a file keeps the offset of its own instant,
// unless the AddFile handler moved its date (then the offset in effect at the new date).
TEST_F(LayoutTest, AFileOfTheRepeatedHourKeepsItsOwnOffset) {
  setenv("TZ", "Europe/Paris", 1);
  tzset();
  struct Case {
    const char* name;
    CivilTime utc;
    bool moved;
    int offset;
  };
  const Case cases[] = {
      {"first.txt", {2024, 10, 27, 0, 30, 0, 0}, false, 120},   // 02:30 CEST
      {"second.txt", {2024, 10, 27, 1, 30, 0, 0}, false, 60},   // 02:30 CET
      {"third.txt", {2024, 10, 27, 1, 30, 0, 123}, false, 60},  // with milliseconds
      {"moved.txt", {2024, 10, 27, 1, 30, 0, 0}, true, 120},    // to 1 July: summer time
  };
  layout.OnAddFile = [&cases](const std::string& path, std::string&, std::string&, TDateTime& date, uint32_t,
                              int64_t, bool&) {
    for (const Case& c : cases) {
      if (c.moved && path == std::string("/") + c.name) date = EncodeDateTime({2024, 7, 1, 12, 0, 0, 0});
    }
  };
  for (const Case& c : cases) {
    FileSearchRecord record = File(c.name, 1);
    record.LastWrite = FileTimeOfCivil(c.utc);
    ASSERT_TRUE(layout.AddSearchEntry(Root(), record, std::string("/") + c.name));
  }
  unsetenv("TZ");
  tzset();
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(layout.Entries[i]->GmtOffsetMinutes, cases[i].offset) << cases[i].name;
  }
}
#endif

}  // namespace
}  // namespace kvx
