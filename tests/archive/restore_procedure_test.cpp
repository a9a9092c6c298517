// What the restore itself refuses and checks over the zip stand-in's entry points, whatever
// the library does: names that leave the data folder and damaged directories before any
// extraction, and extracted files that are not what the archive's directory says before
// the switch. Each case runs with the stand-in as it is and as a careless library
// (KVXZIP_MODEL=careless: no CRC check on extraction, the test flag ignored).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <functional>
#include <map>

#include "archive/archive_procedures.h"
#include "archive/restore_journal.h"
#include "archive/restore_procedure.h"
#include "archive/zip_library.h"
#include "host/host_bridge.h"
#include "standins/zip/zip_entry_points.h"
#include "tests/archive/zip_test_system.h"
#include "tests/host/recording_runtime.h"
#include "tests/support/test_files.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;

void Put(std::string& out, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out += static_cast<char>(i < 8 ? value >> (8 * i) & 0xFF : 0);
}

struct Member {
  std::string name;
  std::string data;
};

// The members stored, with their CRC-32; the central directory's bytes apart, for the
// cases that lay out end records of their own.
struct Laid {
  std::string members;
  std::string central;
};

Laid LayOut(const std::vector<Member>& members) {
  Laid laid;
  for (const auto& [name, data] : members) {
    const size_t offset = laid.members.size();
    const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
    const uint32_t folder = name.back() == '/' ? 0x10 : 0;
    std::string& local = laid.members;
    Put(local, 0x04034b50, 4), Put(local, 20, 2), Put(local, 0x0800, 2), Put(local, 0, 6), Put(local, crc, 4);
    Put(local, data.size(), 4), Put(local, data.size(), 4), Put(local, name.size(), 2), Put(local, 0, 2);
    local += name + data;
    std::string& central = laid.central;
    Put(central, 0x02014b50, 4), Put(central, 20, 2), Put(central, 20, 2), Put(central, 0x0800, 2), Put(central, 0, 6);
    Put(central, crc, 4), Put(central, data.size(), 4), Put(central, data.size(), 4), Put(central, name.size(), 2);
    Put(central, 0, 8), Put(central, folder, 4), Put(central, offset, 4);
    central += name;
  }
  return laid;
}

std::string EndRecord(uint64_t entries, uint64_t size, uint64_t offset) {
  std::string end;
  Put(end, 0x06054b50, 4), Put(end, 0, 4), Put(end, entries, 2), Put(end, entries, 2);
  Put(end, size, 4), Put(end, offset, 4), Put(end, 0, 2);
  return end;
}

std::string Archive(const std::vector<Member>& members) {
  const Laid laid = LayOut(members);
  return laid.members + laid.central + EndRecord(members.size(), laid.central.size(), laid.members.size());
}

// An archive whose zip64 end record gives the directory's size and offset: values no
// 32-bit record can hold, sums that wrap past 2^64.
std::string Zip64Archive(const std::vector<Member>& members, uint64_t size, uint64_t offset) {
  const Laid laid = LayOut(members);
  std::string out = laid.members + laid.central;
  const size_t end64 = out.size();
  Put(out, 0x06064b50, 4), Put(out, 44, 8), Put(out, 45, 2), Put(out, 45, 2), Put(out, 0, 8);
  Put(out, members.size(), 8), Put(out, members.size(), 8), Put(out, size, 8), Put(out, offset, 8);
  Put(out, 0x07064b50, 4), Put(out, 0, 4), Put(out, end64, 8), Put(out, 1, 4);
  return out + EndRecord(0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
}

const std::vector<Member> kBackup = {
    {"CLIENTS.FIC", "restored clients"}, {"IMAGES/", ""}, {"IMAGES/LOGO.BMP", "restored logo"}, {"NOTES.TXT", ""}};

class RestoreChecks : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    setenv("KVXZIP_MODEL", GetParam(), 1);
    system_ = &kvxtest::InstallZipTestSystem();
    kvxtest::Runtime() = {};
    root_ = fs::temp_directory_path() / ("kvx-restore-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "PROG");
    fs::create_directories(root_ / "ELSEWHERE");
    test::WriteWholeFileAndFolders(data_ / "CLIENTS.FIC", "live clients");
    test::WriteWholeFileAndFolders(data_ / "PARAM.DTA", "live parameters");
    test::WriteWholeFileAndFolders(data_ / "IMAGES" / "LOGO.BMP", "live logo");
    saved_ = fs::current_path();
    fs::current_path(root_ / "ELSEWHERE");  // where a library that ignores the test flag extracts
    system_->dunzip = [this](UnzipParams* p) {
      const bool extraction = p->function == kUnzipFunctionExtract && !p->test;
      const char* destination = p->destination;  // a field of the packed record, read by value
      extractions_ += extraction;
      const int32_t result = kvxzip::RunDunzip(p);
      if (extraction && afterExtraction_) afterExtraction_(destination);
      return result;
    };
  }
  void TearDown() override {
    fs::current_path(saved_);
    fs::remove_all(root_);
    SetZipLibrarySystem(nullptr);
    unsetenv("KVXZIP_MODEL");
  }

  RestoreOutcome Restore(const std::string& bytes) {
    test::WriteWholeFile(archive_, bytes);
    RestoreRequest request;
    request.archive = archive_.string();
    request.dataFolder = data_.string() + "/";
    request.programFolder = (root_ / "PROG").string() + "/";
    return RunRestore(host_, request);
  }

  // Nothing of a restore that failed before its switch is left: the data as it was, no
  // safety copy, work folder or journal.
  void ExpectNothingChanged(const Tree& before) {
    EXPECT_EQ(test::ReadTree(data_), before);
    EXPECT_FALSE(fs::exists(JournalPath((root_ / "PROG").string() + "/")));
  }

  kvxtest::ZipTestSystem* system_ = nullptr;
  HostBridge host_;
  fs::path root_, saved_;
  fs::path data_ = fs::temp_directory_path() / ("kvx-restore-" + std::to_string(getpid())) / "DATA";
  fs::path archive_ = data_.parent_path() / "SAUVE.ZIP";
  int extractions_ = 0;
  std::function<void(const fs::path&)> afterExtraction_;
};

INSTANTIATE_TEST_SUITE_P(Models, RestoreChecks, ::testing::Values("", "careless"));

// A library that resolves "..", or takes a root or a drive as it comes, would write these
// outside the work folder, into the live data or anywhere: the toolbox refuses them first.
TEST_P(RestoreChecks, NamesThatLeaveTheWorkFolderAreRefusedBeforeAnyExtraction) {
  const struct {
    std::string name;
    std::string why;
  } cases[] = {
      {"../PARAM.DTA", "remonte hors du dossier"},      {"IMAGES\\..\\..\\PARAM.DTA", "remonte hors du dossier"},
      {"/PARAM.DTA", "chemin absolu"},                   {"\\\\SERVEUR\\PARTAGE\\PARAM.DTA", "chemin absolu"},
      {"C:PARAM.DTA", "chemin absolu"},                  {"IMAGES/./PARAM.DTA", "nom fait de points ou d'espaces"},
      {"IMAGES/. ./LOGO.BMP", "nom fait de points ou d'espaces"},
  };
  const Tree before = test::ReadTree(data_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const RestoreOutcome outcome = Restore(Archive({{"CLIENTS.FIC", "restored"}, {c.name, "escaped"}}));
    EXPECT_EQ(outcome.failedAt, RestoreStage::Refused);
    EXPECT_EQ(outcome.message, "L'archive " + archive_.string() + " contient des noms que Windows ne peut pas garder : " +
                                   c.name + " (" + c.why + ").");
    EXPECT_EQ(extractions_, 0);
    ExpectNothingChanged(before);
  }
}

// Sizes and offsets that do not fit the file, that wrap past 2^64 once added, or that a
// 32-bit process cannot hold (2 to 4 GiB: a negative std::streamsize on i686), and
// records that run past the directory: refused, never read short nor thrown.
TEST_P(RestoreChecks, DamagedDirectoriesAreRefusedBeforeAnyExtraction) {
  const Laid laid = LayOut(kBackup);
  const size_t directorySize = laid.central.size(), directoryAt = laid.members.size();
  std::string truncatedRecord = laid.members + laid.central.substr(0, 50);
  truncatedRecord += EndRecord(1, 50, directoryAt);
  const std::pair<const char*, std::string> cases[] = {
      {"size past the file", laid.members + laid.central + EndRecord(4, directorySize + 1, directoryAt)},
      {"size of 3 GiB", laid.members + laid.central + EndRecord(4, 0xC0000000, directoryAt)},
      {"offset wrapping", Zip64Archive(kBackup, 0x100, ~uint64_t{0} - 0x80)},
      {"2 GiB offset wrapping", Zip64Archive(kBackup, 0x80000000, (~uint64_t{0} - 0x80000000) + 1 + directoryAt)},
      {"record past the directory", truncatedRecord},
      {"size wrapping", Zip64Archive(kBackup, ~uint64_t{0} - 15, 32)},
  };
  const Tree before = test::ReadTree(data_);
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    const RestoreOutcome outcome = Restore(bytes);
    EXPECT_EQ(outcome.failedAt, RestoreStage::Refused);
    EXPECT_EQ(outcome.message, "Le répertoire de l'archive " + archive_.string() + " est endommagé.");
    EXPECT_EQ(extractions_, 0);
    ExpectNothingChanged(before);
  }
}

// The backup of a folder itself (every member under CLIENT01/, as the shell's compressed
// folders hold it) would land one folder too deep, whatever the data folder holds: empty,
// as the unattended restore makes it, or holding a folder of that name. A data folder that
// cannot be listed is not taken for an empty one.
TEST_P(RestoreChecks, ArchivesThatAreNotABackupOfADataFolderAreRefusedWhateverTheFolderHolds) {
  const std::string underOne = "L'archive " + archive_.string() + " ne contient rien de ce qu'une sauvegarde de " +
                               data_.string() + "/ met à sa racine : tout y est sous le dossier CLIENT01\\, c'est la "
                               "sauvegarde d'un dossier et non de son contenu.";
  const std::vector<Member> folderBackup = {{"CLIENT01/", ""}, {"CLIENT01/PARAM.DTA", "p"}, {"CLIENT01/A.FIC", "a"}};
  const struct {
    const char* what;
    Tree data;
    std::vector<Member> members;
    std::string refusal;  // empty: restored
  } cases[] = {
      {"empty folder", {}, folderBackup, underOne},
      {"folder of that name", {{"CLIENT01/A.FIC", "live"}}, folderBackup, underOne},
      {"without folder entry", {}, {{"./CLIENT01/A.FIC", "a"}, {"CLIENT01/SUB/B.FIC", "b"}}, underOne},
      {"a file at the root", {{"PARAM.DTA", "live"}}, {{"CLIENT01/A.FIC", "a"}, {"PARAM.DTA", "p"}}, ""},
      {"two folders", {{"IMAGES/OLD.BMP", "live"}}, {{"IMAGES/LOGO.BMP", "l"}, {"DOCS/A.TXT", "a"}}, ""},
      {"nothing in common", {{"OTHER.FIC", "live"}}, {{"CLIENTS.FIC", "c"}},
       "L'archive " + archive_.string() + " ne contient rien de ce qu'une sauvegarde de " + data_.string() +
           "/ met à sa racine."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(data_);
    fs::create_directories(data_);
    for (const auto& [name, bytes] : c.data) test::WriteWholeFileAndFolders(data_ / name, bytes);
    const Tree before = test::ReadTree(data_);
    extractions_ = 0;
    const RestoreOutcome outcome = Restore(Archive(c.members));
    if (!c.refusal.empty()) {
      EXPECT_EQ(outcome.failedAt, RestoreStage::Refused);
      EXPECT_EQ(outcome.message, c.refusal);
      EXPECT_EQ(extractions_, 0);
      ExpectNothingChanged(before);
    } else {
      EXPECT_EQ(outcome.failedAt, RestoreStage::None) << outcome.message;
    }
  }
  fs::remove_all(data_);
  test::WriteWholeFileAndFolders(data_, "a file where the folder should be");
  const RestoreOutcome outcome = Restore(Archive(kBackup));
  EXPECT_EQ(outcome.failedAt, RestoreStage::Refused);
  EXPECT_EQ(outcome.message, "Le dossier " + data_.string() + "/ n'a pas pu être lu.");
}

// What a library that skips its checks may leave in the work folder while answering 0:
// the toolbox reads every file back against the directory before the switch.
TEST_P(RestoreChecks, ExtractedFilesThatAreNotTheArchivesFailBeforeTheSwitch) {
  const std::string file = "Le fichier ";
  const std::string from = " extrait de " + archive_.string();
  const struct {
    const char* what;
    std::function<void(const fs::path&)> damage;
    std::string message;
  } cases[] = {
      {"a byte altered", [](const fs::path& work) { test::WriteWholeFile(work / "CLIENTS.FIC", "restored clientS"); },
       file + "CLIENTS.FIC" + from + " ne correspond pas à son CRC-32 dans l'archive."},
      {"a byte more",
       [](const fs::path& work) { test::WriteWholeFile(work / "IMAGES" / "LOGO.BMP", "restored logo!"); },
       file + "IMAGES/LOGO.BMP" + from + " n'a pas la taille que l'archive lui donne."},
      {"an empty file missing", [](const fs::path& work) { fs::remove(work / "NOTES.TXT"); },
       file + "NOTES.TXT manque parmi les fichiers extraits de " + archive_.string() + "."},
      {"a folder missing", [](const fs::path& work) { fs::remove_all(work / "IMAGES"); },
       "Le dossier IMAGES/ manque parmi les fichiers extraits de " + archive_.string() + "."},
      {"a file too many", [](const fs::path& work) { test::WriteWholeFile(work / "IMAGES" / "EXTRA.BMP", "x"); },
       file + "IMAGES/EXTRA.BMP" + from + " n'est pas dans l'archive."},
      {"a folder for a file",
       [](const fs::path& work) {
         fs::remove(work / "NOTES.TXT");
         fs::create_directory(work / "NOTES.TXT");
       },
       file + "NOTES.TXT manque parmi les fichiers extraits de " + archive_.string() + "."},
  };
  const Tree before = test::ReadTree(data_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    afterExtraction_ = c.damage;
    const RestoreOutcome outcome = Restore(Archive(kBackup));
    EXPECT_EQ(outcome.failedAt, RestoreStage::Extraction);
    EXPECT_EQ(outcome.message, c.message);
    ExpectNothingChanged(before);
  }
  // Whole, the archive is restored; also with the "./" that tar-style tools put before
  // every name, and their member "./" for the folder itself.
  afterExtraction_ = nullptr;
  std::vector<Member> tarStyle = {{"./", ""}};
  for (const auto& [name, data] : kBackup) tarStyle.push_back({"./" + name, data});
  for (const std::vector<Member>& members : {kBackup, tarStyle}) {
    SCOPED_TRACE(members[0].name);
    const RestoreOutcome outcome = Restore(Archive(members));
    EXPECT_EQ(outcome.failedAt, RestoreStage::None) << outcome.message;
    const Tree restored = test::ReadTree(data_);
    for (const auto& [name, data] : kBackup)
      EXPECT_EQ(restored.at(name.substr(0, name.find_last_not_of('/') + 1)), name.back() == '/' ? "/" : data);
    for (const auto& [name, bytes] : restored) EXPECT_NE(name.substr(0, 4), "KVXR") << "no work folder is left";
  }
}

// A member whose data no longer matches its CRC-32: the library refuses it, or a careless
// one extracts it and the toolbox does; the data stays as it was either way.
TEST_P(RestoreChecks, AMemberDamagedInTheArchiveLeavesTheDataAsItWas) {
  std::string bytes = Archive(kBackup);
  bytes[bytes.find("restored clients")] = 'R';
  const Tree before = test::ReadTree(data_);
  const RestoreOutcome outcome = Restore(bytes);
  EXPECT_EQ(outcome.failedAt, RestoreStage::Extraction);
  EXPECT_NE(outcome.message.find(archive_.string()), std::string::npos) << outcome.message;
  ExpectNothingChanged(before);
}

// The safety copy's list of the data folder is this run's own file in the temporary
// folder: another toolbox's list of the same moment is neither overwritten nor removed,
// and this one is gone after the copy.
TEST_P(RestoreChecks, TheSafetyCopysListIsThisRunsOwn) {
  const fs::path temp = root_ / "TEMP";
  test::WriteWholeFileAndFolders(temp / "KVXSAUVE.LST", "another toolbox's list\r\n");
  setenv("TMPDIR", temp.c_str(), 1);
  std::vector<std::string> during;
  system_->dzip = [&](ZipParams* p) {
    for (const auto& [name, text] : test::ReadTree(temp))
      if (name != "KVXSAUVE.LST") during.push_back(name);
    return kvxzip::RunDzip(p);
  };
  const RestoreOutcome outcome = Restore(Archive(kBackup));
  unsetenv("TMPDIR");
  EXPECT_EQ(outcome.failedAt, RestoreStage::None) << outcome.message;
  EXPECT_EQ(test::ReadTree(temp), (Tree{{"KVXSAUVE.LST", "another toolbox's list\r\n"}}));
  ASSERT_EQ(during.size(), 1u);
  EXPECT_NE(during[0].find(std::to_string(getpid())), std::string::npos) << during[0];
}

// The safety copy holds the data folder's root entries under their exact names, whatever
// their characters (a name Windows-1252 lacks is never a pattern matching nothing).
TEST_P(RestoreChecks, TheSafetyCopyKeepsEveryRootNameExactly) {
  const std::string name = "\xC5\x81\xC3\xB3" "d\xC5\xBA";  // Łódź
  test::WriteWholeFileAndFolders(data_ / name / "A.FIC", "kept");
  const RestoreOutcome outcome = Restore(Archive(kBackup));
  ASSERT_EQ(outcome.failedAt, RestoreStage::None) << outcome.message;
  const fs::path out = root_ / "COPY";
  ASSERT_TRUE(UnzipArchive(host_, outcome.safetyCopy, out.string(), "*.*"));
  EXPECT_EQ(test::ReadTree(out / name), (Tree{{"A.FIC", "kept"}}));
}

}  // namespace
}  // namespace kvx
