// What a backup keeps safe whatever the zip library does: each case runs over the
// stand-in as it is, over its careless model (KVXZIP_MODEL=careless: it writes over the
// target in place, keeps a shortened member and answers 0 after a failure) and over a
// careless library made here from the stand-in (it empties the file it is given before
// writing and answers 0 whatever happened).
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "archive/archive_procedures.h"
#include "archive/zip_library.h"
#include "host/host_bridge.h"
#include "standins/zip/zip_entry_points.h"
#include "tests/archive/zip_test_system.h"
#include "tests/host/recording_runtime.h"
#include "tests/support/test_files.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

enum class Library { kStandIn, kCarelessModel, kCarelessHere };

class SafetyTest : public testing::Test {
 protected:
  void SetUp() override { Prepare(Library::kStandIn); }
  void Prepare(Library library) {
    system_ = &kvxtest::InstallZipTestSystem();
    kvxtest::Runtime() = {};
    root_ = fs::temp_directory_path() / ("kvx-safety-" + std::to_string(getpid()));
    fs::remove_all(root_);
    test::WriteWholeFileAndFolders(Data() / "CLIENTS.FIC", std::string(70000, 'c') + "clients");
    test::WriteWholeFileAndFolders(Data() / "ARTICLES.FIC", "articles");
    test::WriteWholeFileAndFolders(Data() / "IMAGES" / "LOGO.BMP", std::string(5000, 'l'));
    saved_ = fs::current_path();
    fs::current_path(Data());
    if (library == Library::kCarelessModel) setenv("KVXZIP_MODEL", "careless", 1);
    if (library == Library::kCarelessHere) {
      system_->dzip = [](ZipParams* p) {
        test::WriteWholeFile(p->zipFile, "");  // its output is created at once, over what was there
        kvxzip::RunDzip(p);
        return 0;
      };
    }
  }
  void TearDown() override {
    unsetenv("KVXZIP_MODEL");
    unsetenv("KVXZIP_FAULTS");
    fs::current_path(saved_);
    fs::remove_all(root_);
    SetZipLibrarySystem(nullptr);
  }

  fs::path Data() const { return root_ / "FIC01"; }
  std::string Target() const { return (root_ / "SAUVE.ZIP").string(); }
  bool BackUp(Lines* problems = nullptr) { return ZipArchive(host_, Target(), "*.*", 0, true, problems); }
  // What the backup's folder holds besides the data folder.
  Lines Beside() const {
    Lines names;
    for (const fs::directory_entry& entry : fs::directory_iterator(root_))
      if (entry.path() != Data()) names.push_back(entry.path().filename().string());
    return names;
  }

  static Lines Commands() {
    Lines commands;
    for (const std::string& call : kvxtest::Runtime().calls)
      if (call.rfind("CMD ", 0) == 0) commands.push_back(call.substr(4));
    return commands;
  }

  HostBridge host_;
  kvxtest::ZipTestSystem* system_ = nullptr;
  fs::path root_, saved_;
};

class BackupSafety : public SafetyTest, public testing::WithParamInterface<Library> {
 protected:
  void SetUp() override { Prepare(GetParam()); }
};

// A source that fails part way or cannot be opened, a full disk, a failed flush, an
// archive damaged on its way to the disk: the backup fails, every problem is told, and
// the earlier archive stays byte for byte with nothing left beside it.
TEST_P(BackupSafety, AFailedBackupKeepsTheEarlierArchive) {
  ASSERT_TRUE(BackUp());
  const std::string earlier = test::ReadWholeFile(Target());
  ASSERT_FALSE(earlier.empty());
  struct Case {
    const char* faults;
    const char* told;  // a text the problems hold; null: the library may fail without a word
  };
  const Case cases[] = {
      {"read-fail-at=CLIENTS.FIC@4000", "CLIENTS.FIC ("},
      {"read-fail=ARTICLES.FIC", "ARTICLES.FIC"},  // told by the library, or found missing by the check
      {"read-fail-at=CLIENTS.FIC@10;read-fail=IMAGES/LOGO.BMP", "LOGO.BMP"},
      {"write-fail-after=200", nullptr},
      {"flush-fail=1", nullptr},
      {"write-corrupt-at=300", "SAUVE.ZIP (relecture "},
  };
  test::WriteWholeFile(Data() / "CLIENTS.FIC", std::string(90000, 'C'));  // today's data differs
  for (const Case& c : cases) {
    // The careless model never flushes: a failing flush of its own cannot happen to it.
    if (GetParam() == Library::kCarelessModel && std::string_view(c.faults) == "flush-fail=1") continue;
    setenv("KVXZIP_FAULTS", c.faults, 1);
    Lines problems;
    EXPECT_FALSE(BackUp(&problems)) << c.faults;
    EXPECT_TRUE(test::ReadWholeFile(Target()) == earlier) << c.faults;
    EXPECT_EQ(Beside(), Lines{"SAUVE.ZIP"}) << c.faults;
    std::string all;
    for (const std::string& line : problems) all += line + "\n";
    if (c.told) {
      EXPECT_NE(all.find(c.told), std::string::npos) << c.faults << "\n" << all;
    }
  }
  unsetenv("KVXZIP_FAULTS");
  ASSERT_TRUE(BackUp());
  EXPECT_EQ(Beside(), Lines{"SAUVE.ZIP"});
  ASSERT_TRUE(UnzipArchive(host_, Target(), (root_ / "OUT").string(), "*.*"));
  EXPECT_EQ(test::ReadTree(root_ / "OUT"), test::ReadTree(Data()));
}

// Files of one repeated byte whose size passes 256 KiB by a few bytes: the last
// compressed bytes of each expand past one output buffer of a reader.
std::vector<std::pair<std::string, std::string>> LongRuns() {
  std::vector<std::pair<std::string, std::string>> files;
  for (const size_t extra : {0, 1, 2, 7, 100, 4095, 65537})
    files.emplace_back("RUN" + std::to_string(extra) + ".DAT",
                       std::string((256u << 10) + extra, static_cast<char>('a' + extra % 26)));
  return files;
}

TEST_P(BackupSafety, LongRunsOfOneByteBackUpAndRestoreExactly) {
  for (const fs::directory_entry& entry : fs::directory_iterator(Data())) fs::remove_all(entry.path());
  for (const auto& [name, bytes] : LongRuns()) test::WriteWholeFile(Data() / name, bytes);
  Lines problems;
  ASSERT_TRUE(BackUp(&problems)) << testing::PrintToString(problems);
  EXPECT_TRUE(TestArchive(host_, Target()));
  ASSERT_TRUE(UnzipArchive(host_, Target(), (root_ / "OUT").string(), "*.*"));
  EXPECT_EQ(test::ReadTree(root_ / "OUT"), test::ReadTree(Data()));
}

// The same members deflated by zlib in one stream each, read back by the toolbox.
std::string DeflatedArchive(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string bytes, directory;
  const auto put = [](std::string& to, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) to += static_cast<char>(value >> (8 * i) & 0xFF);
  };
  for (const auto& [name, data] : files) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string packed(size, '\0');
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = static_cast<uInt>(size);
    deflate(&stream, Z_FINISH);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                                                     static_cast<uInt>(data.size())));
    const uint64_t offset = bytes.size();
    put(bytes, 0x04034b50, 4), put(bytes, 20, 2), put(bytes, 0, 2), put(bytes, 8, 2), put(bytes, 0, 4);
    put(bytes, crc, 4), put(bytes, packed.size(), 4), put(bytes, data.size(), 4), put(bytes, name.size(), 2);
    put(bytes, 0, 2), bytes += name + packed;
    put(directory, 0x02014b50, 4), put(directory, 20, 2), put(directory, 20, 2), put(directory, 0, 2);
    put(directory, 8, 2), put(directory, 0, 4), put(directory, crc, 4), put(directory, packed.size(), 4);
    put(directory, data.size(), 4), put(directory, name.size(), 2), put(directory, 0, 8), put(directory, 0, 4);
    put(directory, offset, 4), directory += name;
  }
  const uint64_t at = bytes.size();
  bytes += directory;
  put(bytes, 0x06054b50, 4), put(bytes, 0, 4), put(bytes, files.size(), 2), put(bytes, files.size(), 2);
  put(bytes, directory.size(), 4), put(bytes, at, 4), put(bytes, 0, 2);
  return bytes;
}

TEST_F(SafetyTest, LongRunsOfOneByteReadBackWhole) {
  const fs::path archive = root_ / "RUNS.ZIP";
  const std::vector<std::pair<std::string, std::string>> files = LongRuns();
  test::WriteWholeFile(archive, DeflatedArchive(files));
  EXPECT_TRUE(TestArchive(host_, archive.string())) << testing::PrintToString(Commands());
  std::string damaged = DeflatedArchive(files);
  damaged[damaged.rfind("RUN100.DAT") - 46 + 16] ^= 1;  // the CRC-32 its central header gives
  test::WriteWholeFile(archive, damaged);
  EXPECT_FALSE(TestArchive(host_, archive.string()));
}

// Data in front of an archive written without it (a self-extracting program) shifts
// every offset the archive gives; the members are read where they lie.
TEST_F(SafetyTest, AnArchiveBehindAProgramReadsBackWhole) {
  const fs::path archive = root_ / "AUTO.EXE";
  const std::string program = "MZ" + std::string(5000, 'x');
  test::WriteWholeFile(archive, program + DeflatedArchive({{"A.TXT", "bonjour"}, {"B.TXT", std::string(70000, 'b')}}));
  EXPECT_TRUE(TestArchive(host_, archive.string())) << testing::PrintToString(Commands());
}

// A library's answer of 0 proves nothing: the toolbox reads what was written.
TEST_F(SafetyTest, TheLibrarysAnswerIsNotTaken) {
  ASSERT_TRUE(BackUp());
  const std::string earlier = test::ReadWholeFile(Target());
  struct Case {
    const char* what;
    std::function<int32_t(ZipParams*)> library;
    const char* told;
  };
  const Case cases[] = {
      {"a problem told, then 0",
       [](ZipParams* p) {
         p->messageCallback(3, 0, 0, 0, p->zipFile, "secteur illisible", p->messageUserData);
         return kvxzip::RunDzip(p);
       },
       "Impossible de lire le fichier : "},
      {"nothing written", [](ZipParams*) { return 0; }, "SAUVE.ZIP (relecture impossible"},
      {"a listed file left out",
       [](ZipParams* p) {
         const std::string listed = p->itemList;
         const std::string kept = "\"" + (fs::current_path() / "CLIENTS.FIC").string() + "\"";
         p->itemList = kept.c_str();
         const int32_t result = kvxzip::RunDzip(p);
         p->itemList = listed.c_str();
         return result;
       },
       "Fichier absent de la sauvegarde : ARTICLES.FIC"},
      {"a file read short",
       [](ZipParams* p) {
         const std::string whole = test::ReadWholeFile("CLIENTS.FIC");
         test::WriteWholeFile("CLIENTS.FIC", whole.substr(0, 7));
         const int32_t result = kvxzip::RunDzip(p);
         test::WriteWholeFile("CLIENTS.FIC", whole);
         return result;
       },
       "Fichier incomplet dans la sauvegarde : CLIENTS.FIC (7 octets sur 70007)"},
  };
  for (const Case& c : cases) {
    system_->dzip = c.library;
    Lines problems;
    EXPECT_FALSE(BackUp(&problems)) << c.what;
    ASSERT_FALSE(problems.empty()) << c.what;
    EXPECT_NE(problems[0].find(c.told), std::string::npos) << c.what << ": " << problems[0];
    EXPECT_EQ(problems[0].find(".$$$"), std::string::npos) << "the target is named: " << problems[0];
    EXPECT_TRUE(test::ReadWholeFile(Target()) == earlier) << c.what;
    EXPECT_EQ(Beside(), Lines{"SAUVE.ZIP"}) << c.what;
  }
}

// A stored member "A.TXT" holding text, every size and offset in zip64 records.
std::string Zip64Archive(const std::string& text, uint32_t crc) {
  std::string bytes;
  const auto put = [&](uint64_t value, int width) {
    for (int i = 0; i < width; ++i) bytes += static_cast<char>(value >> (8 * i) & 0xFF);
  };
  const std::string name = "A.TXT";
  put(0x04034b50, 4), put(45, 2), put(0, 2), put(0, 2), put(0, 4), put(crc, 4), put(0xFFFFFFFF, 4);
  put(0xFFFFFFFF, 4), put(name.size(), 2), put(20, 2), bytes += name;
  put(1, 2), put(16, 2), put(text.size(), 8), put(text.size(), 8), bytes += text;
  const uint64_t directory = bytes.size();
  put(0x02014b50, 4), put(45, 2), put(45, 2), put(0, 2), put(0, 2), put(0, 4), put(crc, 4), put(0xFFFFFFFF, 4);
  put(0xFFFFFFFF, 4), put(name.size(), 2), put(28, 2), put(0, 2), put(0, 2), put(0, 2), put(0, 4);
  put(0xFFFFFFFF, 4), bytes += name;
  put(1, 2), put(24, 2), put(text.size(), 8), put(text.size(), 8), put(0, 8);
  const uint64_t end64 = bytes.size();
  put(0x06064b50, 4), put(44, 8), put(45, 2), put(45, 2), put(0, 4), put(0, 4), put(1, 8), put(1, 8);
  put(end64 - directory, 8), put(directory, 8);
  put(0x07064b50, 4), put(0, 4), put(end64, 8), put(1, 4);
  put(0x06054b50, 4), put(0, 2), put(0, 2), put(0xFFFF, 2), put(0xFFFF, 2), put(0xFFFFFFFF, 4);
  put(0xFFFFFFFF, 4), put(0, 2);
  return bytes;
}

// The safety copy's check is the toolbox's own reading: the library is not asked (one
// that ignored its test flag would extract the archive into the current folder).
TEST_F(SafetyTest, TheArchiveTestIsTheToolboxsOwnReading) {
  ASSERT_TRUE(BackUp());
  kvxtest::Runtime() = {};
  int libraryCalls = 0;
  system_->dunzip = [&](UnzipParams*) { return ++libraryCalls, 0; };
  EXPECT_TRUE(TestArchive(host_, Target()));

  const fs::path zip64 = root_ / "ZIP64.ZIP";
  test::WriteWholeFile(zip64, Zip64Archive("bonjour", 0xA5B6F0C8));
  EXPECT_TRUE(TestArchive(host_, zip64.string()));
  EXPECT_TRUE(Commands().empty());

  test::WriteWholeFile(zip64, Zip64Archive("bonjour", 0xA5B6F0C9));
  EXPECT_FALSE(TestArchive(host_, zip64.string()));
  EXPECT_EQ(Commands(), Lines{"ERREUR,Impossible de lire le fichier : " + zip64.string() +
                              " (relecture de A.TXT incorrecte : CRC-32 diff\xE9rent)"});
  std::string damaged = test::ReadWholeFile(Target());
  const size_t header = damaged.find("CLIENTS.FIC") - 30;  // its local header, the first to name it
  const size_t data = header + 30 + 11 + static_cast<unsigned char>(damaged[header + 28]);
  damaged[data + 5] = static_cast<char>(damaged[data + 5] ^ 0x55);
  test::WriteWholeFile(Target(), damaged);
  EXPECT_FALSE(TestArchive(host_, Target()));
  EXPECT_EQ(libraryCalls, 0);
}

// Diskettes: the library spans and empties them itself, so nothing is written aside;
// every source is read before the first diskette, and the set is read back after the
// last: extracted by the library into an empty folder of its own, and every file it gave
// compared with the directory by the toolbox, so that a library extracting bytes other
// than those it wrote fails the set.
TEST_F(SafetyTest, DisketteSetsAreReadBeforeAndTestedAfter) {
  int writes = 0;
  std::string writtenTo;
  system_->dzip = [&](ZipParams* p) {
    ++writes;
    writtenTo = p->zipFile;
    return kvxzip::RunDzip(p);
  };
  std::vector<std::pair<int32_t, std::string>> reads;  // test flag, destination
  bool alter = false;  // the library gives CLIENTS.FIC back with one byte changed, and answers 0
  system_->dunzip = [&](UnzipParams* p) {
    if (p->function != kUnzipFunctionExtract) return kvxzip::RunDunzip(p);
    const int32_t test = p->test;
    const std::string destination = p->destination;
    reads.emplace_back(test, destination);
    EXPECT_TRUE(fs::is_empty(destination)) << destination;
    const int32_t result = kvxzip::RunDunzip(p);
    if (alter) test::WriteWholeFile(fs::path(destination) / "CLIENTS.FIC", std::string(70007, 'c'));
    return result;
  };
  Lines problems;
  ASSERT_TRUE(ZipArchive(host_, Target(), "*.*", 0x8300, false, &problems)) << problems.size();
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(writtenTo, Target());
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].first, 0);
  EXPECT_NE(fs::path(reads[0].second), fs::current_path());
  EXPECT_FALSE(fs::exists(reads[0].second));

  alter = true;
  EXPECT_FALSE(ZipArchive(host_, Target(), "*.*", 0x8300, false, &problems));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("(relecture incorrecte : "), std::string::npos) << problems[0];
  EXPECT_NE(problems[0].find("CLIENTS.FIC"), std::string::npos) << problems[0];
  EXPECT_FALSE(fs::exists(reads.back().second));
  alter = false;
  problems.clear();

  fs::create_symlink("/proc/self/mem", Data() / "MEMOIRE.FIC");  // opens, then every read fails
  EXPECT_FALSE(ZipArchive(host_, Target(), "*.*", 0x8300, false, &problems));
  EXPECT_EQ(writes, 2) << "no diskette is touched";
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("MEMOIRE.FIC (lecture interrompue)"), std::string::npos) << problems[0];
}

std::string LibraryName(const testing::TestParamInfo<Library>& info) {
  static const char* const kNames[] = {"StandIn", "CarelessModel", "CarelessHere"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Libraries, BackupSafety,
                         testing::Values(Library::kStandIn, Library::kCarelessModel, Library::kCarelessHere),
                         LibraryName);

}  // namespace
}  // namespace kvx
