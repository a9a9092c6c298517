// Identifiers on the disc (unique per folder, within the length limits of each tree),
// the order of the records, and the tree of an earlier session brought into a new one.
#include <map>

#include "base/cp1252.h"

#include "tests/burner/layout_fixture.h"

namespace kvx {
namespace {

struct NamesCase {
  const char* What;
  std::vector<std::u16string> Added;  // in this order, into the root
  std::vector<std::string> ISO;       // identifiers, in the order of the records
  std::vector<std::u16string> Joliet;
};

std::u16string Repeat(char16_t c, size_t n) { return std::u16string(n, c); }

const NamesCase kNamesCases[] = {
    {"same first eight characters",
     {u"Facture 2023.pdf", u"Facture 2024.pdf", u"Facture 2025.pdf"},
     {"FACTUR01.PDF;1", "FACTUR02.PDF;1", "FACTURE_.PDF;1"},
     {u"Facture 2023.pdf;1", u"Facture 2024.pdf;1", u"Facture 2025.pdf;1"}},
    {"case only",
     {u"notes.txt", u"NOTES.TXT", u"Notes.Txt"},
     {"NOTES.TXT;1", "NOTES01.TXT;1", "NOTES02.TXT;1"},
     {u"NOTES (2).TXT;1", u"Notes (3).Txt;1", u"notes.txt;1"}},
    {"accents and characters beyond Windows-1252",
     {u"\u00e9t\u00e9.doc", u"\u00e8t\u00e8.doc", u"\u03a9mega \u65e5\u672c.txt"},
     {"_MEGA___.TXT;1", "_T_.DOC;1", "_T_01.DOC;1"},
     {u"\u00e8t\u00e8.doc;1", u"\u00e9t\u00e9.doc;1", u"\u03a9mega \u65e5\u672c.txt;1"}},
    {"spaces, dots and punctuation",
     {u"a.b.c.d.txt", u"  lead.txt", u".profile", u"x#!%.&&", u"ab-c.txt", u"ab.txt"},
     {"AB.TXT;1", "AB_C.TXT;1", "A_B_C_D.TXT;1", "X___.__;1", "_.PRO;1", "__LEAD.TXT;1"},
     // Names before extensions, shorter names padded with spaces: "ab" before "ab-c".
     {u".profile;1", u"  lead.txt;1", u"a.b.c.d.txt;1", u"ab.txt;1", u"ab-c.txt;1", u"x#!%.&&;1"}},
    {"a name that looks numbered already",
     {u"Rapport final.doc", u"Rapport initial.doc", u"Rapport.doc", u"RAPPORT_.DOC"},
     {"RAPPOR01.DOC;1", "RAPPOR02.DOC;1", "RAPPORT.DOC;1", "RAPPORT_.DOC;1"},
     {u"RAPPORT_.DOC;1", u"Rapport.doc;1", u"Rapport final.doc;1", u"Rapport initial.doc;1"}},
    {"characters a Joliet name may not hold",
     {u"a;1", u"a", u"x\u0001y:z.txt"},
     {"A.;1", "A_1.;1", "X_Y_Z.TXT;1"},
     {u"a.;1", u"a_1.;1", u"x_y_z.txt;1"}},
    {"names of 65 to 200 characters",
     {Repeat(u'L', 65) + u".txt", Repeat(u'L', 200) + u".txt", Repeat(u'L', 64), Repeat(u'M', 70) + u".tar.gz"},
     {"LLLLLL01.TXT;1", "LLLLLLLL.;1", "LLLLLLLL.TXT;1", "MMMMMMMM.GZ;1"},
     {Repeat(u'L', 56) + u" (2).txt;1", Repeat(u'L', 60) + u".txt;1", Repeat(u'L', 63) + u".;1",
      Repeat(u'M', 61) + u".gz;1"}},
};

std::u16string JolietOf(const std::string& bigEndian) {
  std::u16string out;
  for (size_t i = 0; i + 1 < bigEndian.size(); i += 2)
    out += static_cast<char16_t>(static_cast<uint8_t>(bigEndian[i]) << 8 | static_cast<uint8_t>(bigEndian[i + 1]));
  return out;
}

TEST_F(LayoutTest, IdentifiersAreValidUniqueAndSorted) {
  for (const NamesCase& c : kNamesCases) {
    SCOPED_TRACE(c.What);
    layout.ResetImage(100, 10);
    layout.CaseSensitiveNames = true;
    for (const std::u16string& name : c.Added) {
      FileSearchRecord record = File(UTF16ToCP1252(name), 1);
      record.WideName = name;
      ASSERT_TRUE(layout.AddSearchEntry(Root(), record, "/src/x"));
    }
    layout.BuildImage(true);
    std::vector<std::string> iso;
    for (const auto& r : Records(layout.ISODirRecordsPos / kSectorSize, Root()->ISOSize)) iso.push_back(r.Identifier);
    std::vector<std::u16string> joliet;
    for (const auto& r : Records(layout.JolietDirRecordsPos / kSectorSize, Root()->JolietSize))
      joliet.push_back(JolietOf(r.Identifier));
    iso.erase(iso.begin(), iso.begin() + 2);
    joliet.erase(joliet.begin(), joliet.begin() + 2);
    EXPECT_EQ(iso, c.ISO);
    EXPECT_EQ(joliet, c.Joliet);
  }
}

TEST_F(LayoutTest, FoldersAndFilesNeverShareAnIdentifier) {
  ASSERT_NE(layout.CreateDirectory(Root(), "Readme", kAttrDirectory), nullptr);
  ASSERT_TRUE(Add(Root(), "README", 1));  // "README." on the disc, shown as "README"
  ASSERT_NE(layout.CreateDirectory(Root(), "Archives 2023", kAttrDirectory), nullptr);
  ASSERT_NE(layout.CreateDirectory(Root(), "Archives 2024", kAttrDirectory), nullptr);
  layout.BuildImage(true);
  EXPECT_EQ(layout.Entries[1]->ShortName, "README01.");
  EXPECT_EQ(layout.Entries[1]->JolietName, u"README (2).");
  EXPECT_EQ(layout.Directories[3]->ShortName, "ARCHIV01");
  // The path table names the folders as their records do, in their order.
  EXPECT_EQ(Text(Sector(19) + 10 + 8, 8), "ARCHIV01");
  EXPECT_EQ(Text(Sector(19) + 10 + 16 + 8, 8), "ARCHIVES");
}

class SessionTest : public LayoutTest {
 protected:
  // Lays out the first session from sector 0 and records it, file data as the sector numbers.
  void RecordFirstSession() {
    TISODirectory* data = layout.CreateDirectory(Root(), "Donn\xE9" "es", kAttrDirectory);
    ASSERT_TRUE(Add(Root(), "old.txt", 3000));
    ASSERT_TRUE(Add(Root(), "kept.zip", 5000));
    ASSERT_TRUE(Add(data, "inside.dat", 10));
    FileSearchRecord wide = File("?.txt", 7);
    wide.WideName = u"\u03a9.txt";
    ASSERT_TRUE(layout.AddSearchEntry(data, wide, "/src/omega"));
    layout.BuildImage(true);
    disc.Recorded = layout.ImageHeader;
    disc.Recorded.resize(static_cast<size_t>(layout.EndSector * kSectorSize));
    for (const auto& entry : layout.Entries)
      if (!entry->Directory && entry->ISOSize > 0) oldExtent_[entry->WideName] = firstFile_ + entry->ISOExtent;
    oldEnd_ = static_cast<uint32_t>(layout.EndSector);
    oldDate_ = layout.Entries[1]->DateTime;
  }
  const TISOEntry* Entry(const TISODirectory* dir, const char* name) { return layout.FindEntry(dir, name); }

  std::map<std::u16string, uint32_t> oldExtent_;
  uint32_t firstFile_ = 150;
  uint32_t oldEnd_ = 0;
  TDateTime oldDate_ = 0;
};

TEST_F(SessionTest, LastSessionsFilesStayWhereTheyAreAndNewOnesReplaceThem) {
  RecordFirstSession();
  layout.ResetImage(100, 10);
  layout.ImportPreviousSession = true;
  disc.HasSession = true;
  disc.NextWritable = oldEnd_ + 11400;
  ASSERT_TRUE(Add(Root(), "KEPT.ZIP", 100));  // replaces the older one, whatever its case
  TISODirectory* data = layout.CreateDirectory(Root(), "Donn\xE9" "es", kAttrDirectory);
  ASSERT_TRUE(Add(data, "new.txt", 20));
  layout.BuildImage(false);
  ASSERT_TRUE(disc.Messages.empty()) << disc.Messages[0].first;
  EXPECT_FALSE(layout.PreviousSessionUnreadable);

  const TISOEntry* oldFile = Entry(Root(), "old.txt");
  ASSERT_NE(oldFile, nullptr);
  EXPECT_TRUE(oldFile->EarlierSession);
  EXPECT_EQ(oldFile->SessionExtent, oldExtent_[u"old.txt"]);
  EXPECT_EQ(oldFile->ISOSize, 3000);
  EXPECT_EQ(oldFile->DateTime, oldDate_);
  const TISOEntry* kept = Entry(Root(), "kept.zip");
  ASSERT_NE(kept, nullptr);
  EXPECT_FALSE(kept->EarlierSession);
  EXPECT_EQ(kept->LongName, "KEPT.ZIP");
  EXPECT_EQ(layout.Directories.size(), 2u);  // the folder of both sessions is one
  ASSERT_NE(Entry(data, "inside.dat"), nullptr);
  ASSERT_NE(Entry(data, "new.txt"), nullptr);
  EXPECT_NE(layout.FindWideEntry(data, u"\u03a9.txt"), nullptr);
  // Only the new files take sectors of the new track.
  EXPECT_EQ(layout.FileSectors, 2);

  // The records of the new tree point at the old data, in both trees.
  const auto isoRoot = Records(layout.ISODirRecordsPos / kSectorSize, Root()->ISOSize);
  ASSERT_EQ(isoRoot.size(), 5u);  // ".", "..", DONN_ES, KEPT.ZIP, OLD.TXT
  EXPECT_EQ(isoRoot[4].Identifier, "OLD.TXT;1");
  EXPECT_EQ(Both32(isoRoot[4].Bytes + 2), oldExtent_[u"old.txt"]);
  EXPECT_EQ(Both32(isoRoot[3].Bytes + 2), layout.FirstFilePos / kSectorSize);
  const auto jolietData = Records(layout.JolietDirRecordsPos / kSectorSize + data->JolietSector, data->JolietSize);
  ASSERT_EQ(jolietData.size(), 5u);
  EXPECT_EQ(JolietOf(jolietData[4].Identifier), u"\u03a9.txt;1");
  EXPECT_EQ(Both32(jolietData[4].Bytes + 2), oldExtent_[u"\u03a9.txt"]);
}

TEST_F(SessionTest, NothingIsBroughtInWhenOffOrFromSectorZeroAndAnUnreadableSessionIsSaid) {
  RecordFirstSession();
  for (const bool on : {false, true}) {
    layout.ResetImage(100, 10);
    layout.ImportPreviousSession = on;
    disc.HasSession = true;
    disc.NextWritable = on ? 0 : oldEnd_ + 11400;  // a rewritable overwritten from 0
    layout.BuildImage(false);
    EXPECT_EQ(layout.Entries.size(), 0u);
    EXPECT_FALSE(layout.PreviousSessionUnreadable);
  }
  layout.ResetImage(100, 10);
  layout.ImportPreviousSession = true;
  disc.NextWritable = oldEnd_ + 11400;
  disc.Recorded.resize(20 * kSectorSize);  // descriptors only: the records are unreadable
  layout.BuildImage(false);
  ASSERT_EQ(disc.Messages.size(), 1u);
  EXPECT_EQ(disc.Messages[0], std::make_pair(std::string(">>> CAN'T READ THE PREVIOUS SESSION"), 0));
  EXPECT_TRUE(layout.PreviousSessionUnreadable);
  layout.ImportPreviousSession = false;  // the caller's way out: a tree of the new files only
  layout.BuildImage(false);
  EXPECT_FALSE(layout.PreviousSessionUnreadable);
}

// A hand-made earlier session: descriptors at 16 and 17, folder k at sector 20 + k. Each
// folder holds its "." and ".." and the records named, each pointing at a folder.
std::vector<uint8_t> DamagedDisc(const std::vector<std::vector<std::pair<std::string, uint32_t>>>& folders) {
  std::vector<uint8_t> disc((20 + folders.size()) * kSectorSize);
  const auto record = [&](size_t at, const std::string& name, uint32_t extent) {
    const size_t length = 33 + name.size() + (name.size() % 2 == 0);
    disc[at] = static_cast<uint8_t>(length);
    for (int i = 0; i < 4; ++i) {
      disc[at + 2 + i] = disc[at + 9 - i] = static_cast<uint8_t>(extent >> (8 * i));
      disc[at + 10 + i] = disc[at + 17 - i] = static_cast<uint8_t>(kSectorSize >> (8 * i));
    }
    disc[at + 25] = 0x02;  // a folder
    disc[at + 32] = static_cast<uint8_t>(name.size());
    std::copy(name.begin(), name.end(), disc.begin() + static_cast<std::ptrdiff_t>(at + 33));
    return length;
  };
  for (const auto& [sector, type] : {std::pair{16, 1}, std::pair{17, 255}}) {
    disc[sector * kSectorSize] = static_cast<uint8_t>(type);
    std::copy_n("CD001", 5, disc.begin() + sector * kSectorSize + 1);
  }
  record(16 * kSectorSize + 156, std::string(1, '\0'), 20);
  for (size_t k = 0; k < folders.size(); ++k) {
    size_t at = (20 + k) * kSectorSize;
    at += record(at, std::string(1, '\0'), static_cast<uint32_t>(20 + k));
    at += record(at, std::string(1, '\1'), 20);
    for (const auto& [name, extent] : folders[k]) at += record(at, name, extent);
  }
  return disc;
}

TEST_F(SessionTest, ADamagedTreeIsReadOnceAndSaidUnreadable) {
  // One folder under two names at every level: read whole, the walk doubles at each.
  std::vector<std::vector<std::pair<std::string, uint32_t>>> doubling(17);
  for (uint32_t k = 0; k + 1 < doubling.size(); ++k) doubling[k] = {{"D", 21 + k}, {"D", 21 + k}};
  const struct {
    const char* What;
    std::vector<uint8_t> Disc;
    size_t Folders;  // in the new tree, the root included
  } cases[] = {
      {"a folder that holds itself", DamagedDisc({{{"SELF", 20}}}), 1},
      {"a folder under two names at every level", DamagedDisc(doubling), 17},
  };
  for (const auto& damaged : cases) {
    SCOPED_TRACE(damaged.What);
    disc.Recorded = damaged.Disc;
    disc.HasSession = true;
    disc.NextWritable = 400;
    disc.SectorsRead = 0;
    disc.Messages.clear();
    layout.ResetImage(100, 100);
    layout.ImportPreviousSession = true;
    layout.BuildImage(false);
    EXPECT_EQ(disc.Messages, (std::vector<std::pair<std::string, int>>{{">>> CAN'T READ THE PREVIOUS SESSION", 0}}));
    EXPECT_TRUE(layout.PreviousSessionUnreadable);
    EXPECT_EQ(layout.Directories.size(), damaged.Folders);
    EXPECT_LE(disc.SectorsRead, 2 + damaged.Folders + 1);  // descriptors, each folder once
  }
}

}  // namespace
}  // namespace kvx
