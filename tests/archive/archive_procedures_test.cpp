// ZipArchive and UnzipArchive over the zip stand-in's entry points, with every host
// command recorded.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "archive/archive_procedures.h"
#include "archive/zip_library.h"
#include "host/host_bridge.h"
#include "host/system_helpers.h"
#include "standins/zip/zip_entry_points.h"
#include "tests/archive/zip_test_system.h"
#include "tests/host/recording_runtime.h"
#include "tests/support/test_files.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

class Procedures : public ::testing::Test {
 protected:
  void SetUp() override {
    system_ = &kvxtest::InstallZipTestSystem();
    kvxtest::Runtime() = {};
    root_ = fs::temp_directory_path() / ("kvx-procedures-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "FIC01" / "IMAGES");
    std::ofstream(root_ / "FIC01" / "CLIENTS.FIC") << "clients";
    std::ofstream(root_ / "FIC01" / "ARTICLES.FIC") << "articles";
    std::ofstream(root_ / "FIC01" / "IMAGES" / "LOGO.BMP") << "logo";
    saved_ = fs::current_path();
    fs::current_path(root_ / "FIC01");
  }
  void TearDown() override {
    fs::current_path(saved_);
    fs::remove_all(root_);
    SetZipLibrarySystem(nullptr);
  }

  // Keeps a copy of the item list and of the words the library receives.
  void WatchZipRecord() {
    system_->dzip = [this](ZipParams* p) {
      itemList_ = p->itemList ? p->itemList : "(null)";
      record_ = *p;
      return kvxzip::RunDzip(p);
    };
  }

  HostBridge host_;

  static Calls Commands() {
    Calls commands;
    for (const std::string& call : kvxtest::Runtime().calls)
      if (call.rfind("CMD ", 0) == 0) commands.push_back(call.substr(4));
    return commands;
  }

  kvxtest::ZipTestSystem* system_ = nullptr;
  fs::path root_, saved_;
  std::string itemList_, exclusion_;
  ZipParams record_{};
};

TEST_F(Procedures, ListFileBecomesOneBlankSeparatedListAndAnArchive) {
  std::ofstream(root_ / "FIC01" / "PATSAUVE.DTA") << "*.FIC\r\nIMAGES\r\n";
  WatchZipRecord();
  const std::string archive = (root_ / "SAUVE.ZIP").string();
  EXPECT_TRUE(ZipArchive(host_, archive, "@" + (root_ / "FIC01" / "PATSAUVE.DTA").string(), 0, true));
  const std::string data = (root_ / "FIC01").string();
  EXPECT_EQ(itemList_, "\"" + data + "/*.FIC\" \"" + data + "/IMAGES\"");
  EXPECT_EQ(+record_.dosify, 0);
  EXPECT_EQ(+record_.recurse, -1);
  EXPECT_EQ(+record_.pathForTemp, -1);
  EXPECT_EQ(+record_.subOptionWord, 0x0001);
  EXPECT_EQ(+record_.multiVolumeWord, 0);

  const Calls commands = Commands();
  ASSERT_GE(commands.size(), 3u);
  ASSERT_EQ(commands.size() % 3, 0u);
  for (size_t i = 0; i < commands.size(); i += 3) {
    const std::string percent = commands[i].substr(std::string("AFFICHE,JAUGE_JAUGE3=").size());
    EXPECT_EQ(commands[i], "AFFICHE,JAUGE_JAUGE3=" + percent);
    EXPECT_EQ(commands[i + 1], "AFFICHE,LIB_libelle=Sauvegarde en cours : " + percent + " %");
    EXPECT_EQ(commands[i + 2], "MULTITACHE");
  }
  EXPECT_EQ(commands.back(), "MULTITACHE");
  EXPECT_EQ(commands[commands.size() - 3], "AFFICHE,JAUGE_JAUGE3=100");

  // Names relative to the current folder, as they are spelled.
  const fs::path out = root_ / "OUT";
  kvxtest::Runtime() = {};
  EXPECT_TRUE(UnzipArchive(host_, archive, out.string(), "*.*"));
  EXPECT_EQ(test::ReadWholeFile(out / "CLIENTS.FIC"), "clients");
  EXPECT_EQ(test::ReadWholeFile(out / "IMAGES" / "LOGO.BMP"), "logo");
  const Calls extraction = Commands();
  ASSERT_EQ(extraction.size() % 3, 0u);
  EXPECT_EQ((Calls(extraction.end() - 3, extraction.end())),
            (Calls{"AFFICHE,LIB_Fichier_en_cours1=Fichier en cours 100% :", "AFFICHE,JAUGE_JAUGE1=100",
                   "MULTITACHE,-1"}));
}

// A restore's work folder left in the data folder (KVXRnnnn.$$$) never goes into a backup:
// the library is told to leave it out, and an archive from a library that took it
// anyway is refused, naming the member.
TEST_F(Procedures, RestoreWorkFoldersStayOutOfBackups) {
  fs::create_directories(root_ / "FIC01" / "KVXR0001.$$$" / "OLD");
  std::ofstream(root_ / "FIC01" / "KVXR0001.$$$" / "OLD" / "X.FIC") << "old";
  std::ofstream(root_ / "FIC01" / "PATSAUVE.DTA") << "*.FIC\r\n";
  const std::string list = "@" + (root_ / "FIC01" / "PATSAUVE.DTA").string();
  struct Case {
    const char* label;
    bool libraryHonoursExclusion;
  };
  for (const Case& c : {Case{"library honours it", true}, Case{"library ignores it", false}}) {
    SCOPED_TRACE(c.label);
    system_->dzip = [&](ZipParams* p) {
      record_ = *p;
      exclusion_ = p->excludeFollowingList ? p->excludeFollowingList : "";
      if (!c.libraryHonoursExclusion) p->excludeFollowing = 0;
      return kvxzip::RunDzip(p);
    };
    const fs::path archive = root_ / (std::string(c.label) + ".ZIP");
    std::vector<std::string> problems;
    EXPECT_EQ(ZipArchive(host_, archive.string(), list, 0, true, &problems), c.libraryHonoursExclusion);
    EXPECT_EQ(+record_.excludeFollowing, -1);
    EXPECT_EQ(exclusion_, "KVXR????.$$$/* */KVXR????.$$$/*");
    if (!c.libraryHonoursExclusion) {
      EXPECT_EQ(problems, std::vector<std::string>{"Dossier de travail d'une restauration dans la sauvegarde " +
                                                   archive.string() + " : KVXR0001.$$$/OLD/X.FIC"});
      EXPECT_FALSE(fs::exists(archive));
      continue;
    }
    EXPECT_EQ(problems, std::vector<std::string>{});
    const fs::path out = root_ / "OUT";
    EXPECT_TRUE(UnzipArchive(host_, archive.string(), out.string(), "*.*"));
    EXPECT_EQ(test::ReadWholeFile(out / "CLIENTS.FIC"), "clients");
    EXPECT_FALSE(fs::exists(out / "KVXR0001.$$$"));
  }
}

TEST_F(Procedures, SingleItemWithBlanksAndMultiVolumeWords) {
  std::ofstream(root_ / "FIC01" / "MY FILE.FIC") << "mine";
  WatchZipRecord();
  ZipArchive(host_, (root_ / "A.ZIP").string(), "MY FILE.FIC", 0x8300, false);
  EXPECT_EQ(itemList_, "\"" + (root_ / "FIC01" / "MY FILE.FIC").string() + "\"");
  EXPECT_EQ(+record_.multiVolumeWord, 0x8300);
  EXPECT_EQ(+record_.recurse, 0);
  EXPECT_EQ(+record_.pathForTemp, 0);
  ZipArchive(host_, (root_ / "A.ZIP").string(), "CLIENTS.FIC", 0x4000 | 0x1000 | 0x0001, false);
  EXPECT_EQ(+record_.multiVolumeWord, 0x1001);
}

// Where paths keep their blanks (no short names), each entry stays one item: the data
// folder's own blanks, a list line naming a folder with a blank, a single item; accented
// names inside. The data folder's accent only on Windows: natively the toolbox's paths
// are Windows-1252 and the stand-in's the system's UTF-8.
TEST_F(Procedures, EntriesWithBlanksAndAccentsAreOneItemEach) {
#ifdef _WIN32
  const fs::path data = root_ / u8"Données KVX" / "FIC01";
#else
  const fs::path data = root_ / "Donnees KVX" / "FIC01";
#endif
  fs::create_directories(data / "Documents clients");
  std::ofstream(data / "CLIENTS.FIC") << "clients";
  std::ofstream(data / "Documents clients" / u8"Relevé mars.txt") << "mars";
  std::ofstream(data / "PATSAUVE.DTA") << "*.FIC\r\nDocuments clients\r\n";
  fs::current_path(data);
  WatchZipRecord();
  const std::string archive = (root_ / "SAUVE.ZIP").string();
  ASSERT_TRUE(ZipArchive(host_, archive, "@" + (data / "PATSAUVE.DTA").string(), 0, true));
  EXPECT_EQ(itemList_, "\"" + (data / "*.FIC").string() + "\" \"" + (data / "Documents clients").string() + "\"");
  const fs::path extracted = fs::path("Documents clients") / u8"Relevé mars.txt";
  EXPECT_TRUE(UnzipArchive(host_, archive, (root_ / "OUT").string(), "*.*"));
  EXPECT_EQ(test::ReadWholeFile(root_ / "OUT" / "CLIENTS.FIC"), "clients");
  EXPECT_EQ(test::ReadWholeFile(root_ / "OUT" / extracted), "mars");

  ASSERT_TRUE(ZipArchive(host_, (root_ / "ONE.ZIP").string(), "Documents clients", 0, true));
  EXPECT_TRUE(UnzipArchive(host_, (root_ / "ONE.ZIP").string(), (root_ / "OUT1").string(), "*.*"));
  EXPECT_EQ(test::ReadWholeFile(root_ / "OUT1" / extracted), "mars");
}

// A list file is read as its writer wrote it: UTF-8 behind a byte order mark, else
// Windows-1252; an entry naming nothing fails the backup with its path (a pattern may
// match nothing), never left out of an archive said good.
TEST_F(Procedures, ListEntriesAreReadAsWrittenAndEachNamesSomething) {
  std::ofstream(root_ / "FIC01" / u8"Donn\u00e9es.FIC") << "accents";
  const std::string data = (root_ / "FIC01").string();
  const struct {
    const char* label;
    std::string list;
    std::vector<std::string> members;  // the archive's files; none: the backup fails
    std::string problem;
  } cases[] = {
      {"UTF-8", "\xEF\xBB\xBF" "CLIENTS.FIC\r\nDonn\xC3\xA9" "es.FIC\r\n", {"CLIENTS.FIC", "Donn\xC3\xA9" "es.FIC"}, ""},
      {"Windows-1252", "Donn\xE9" "es.FIC\r\n*.NDX\r\n", {"Donn\xC3\xA9" "es.FIC"}, ""},
      {"missing file", "CLIENTS.FIC\r\nMISSING.FIC\r\n", {},
       "Fichier ou dossier \xE0 sauvegarder introuvable : " + data + "/MISSING.FIC"},
      {"missing pattern folder", "CLIENTS.FIC\r\nNONE/*.FIC\r\n", {},
       "Impossible de lire le dossier \xE0 sauvegarder : " + data + "/NONE"},
      {"marked UTF-8 that is not", "\xEF\xBB\xBF" "CLIENTS.FIC\r\nA\xCD.FIC\r\n", {},
       "Impossible de lire la liste des fichiers \xE0 sauvegarder : " + (root_ / "LIST.DTA").string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::ofstream(root_ / "LIST.DTA", std::ios::binary) << c.list;
    const fs::path archive = root_ / "SAUVE.ZIP";
    fs::remove(archive);
    std::vector<std::string> problems;
    EXPECT_EQ(ZipArchive(host_, archive.string(), "@" + (root_ / "LIST.DTA").string(), 0, true, &problems),
              !c.members.empty());
    if (c.members.empty()) {
      EXPECT_EQ(problems, std::vector<std::string>{c.problem});
      EXPECT_FALSE(fs::exists(archive));
      continue;
    }
    EXPECT_EQ(problems, std::vector<std::string>{});
    const fs::path out = root_ / "OUT";
    fs::remove_all(out);
    EXPECT_TRUE(UnzipArchive(host_, archive.string(), out.string(), "*.*"));
    std::vector<std::string> extracted;
    for (const auto& [name, text] : test::ReadTree(out)) extracted.push_back(name);
    EXPECT_EQ(extracted, c.members);
  }
}

TEST_F(Procedures, MissingListFileFailsBeforeTheLibrary) {
  WatchZipRecord();
  std::vector<std::string> problems;
  EXPECT_FALSE(ZipArchive(host_, (root_ / "A.ZIP").string(), "@" + (root_ / "NONE.DTA").string(), 0, true, &problems));
  EXPECT_EQ(itemList_, "");
  EXPECT_EQ(problems, std::vector<std::string>{"Impossible de lire la liste des fichiers \xE0 sauvegarder : " +
                                               (root_ / "NONE.DTA").string()});
  EXPECT_FALSE(fs::exists(root_ / "A.ZIP"));
}

TEST_F(Procedures, ListPastTheBufferIsRefused) {
  {
    std::ofstream list(root_ / "LONG.DTA");
    for (int i = 0; i < 2600; ++i) list << std::string(240, 'X') << i << "*\r\n";  // patterns: may match nothing
  }
  bool called = false;
  system_->dzip = [&](ZipParams*) { return called = true, 0; };
  EXPECT_FALSE(ZipArchive(host_, (root_ / "A.ZIP").string(), "@" + (root_ / "LONG.DTA").string(), 0, true));
  EXPECT_FALSE(called);
  EXPECT_EQ(Commands(), Calls{"ERREUR,La liste des fichiers \xE0 sauvegarder d\xE9passe 640000 caract\xE8res : "
                              "sauvegarde non effectu\xE9" "e."});
}

TEST_F(Procedures, ProgressTextsForOnePercentage) {
  system_->dzip = [](ZipParams* p) { return p->majorStatus("X", 7, p->majorUserData); };
  ZipArchive(host_, (root_ / "A.ZIP").string(), "CLIENTS.FIC", 0, false);
  EXPECT_EQ(Commands(), (Calls{"AFFICHE,JAUGE_JAUGE3=7", "AFFICHE,LIB_libelle=Sauvegarde en cours : 7 %", "MULTITACHE"}));

  kvxtest::Runtime() = {};
  system_->dunzip = [](UnzipParams* p) {
    p->returnCount = 1;
    return p->majorStatus("X", 7, p->majorUserData);
  };
  EXPECT_TRUE(UnzipArchive(host_, "A.ZIP", "OUT", "*.*"));
  EXPECT_EQ(Commands(), (Calls{"AFFICHE,LIB_Fichier_en_cours1=Fichier en cours 7% :", "AFFICHE,JAUGE_JAUGE1=7",
                               "MULTITACHE,-1", "AFFICHE,LIB_Fichier_en_cours1=Fichier en cours 7% :",
                               "AFFICHE,JAUGE_JAUGE1=7", "MULTITACHE,-1"}));
}

TEST_F(Procedures, ExtractionMessagesNameTheArchiveOrTheFileNotWritten) {
  std::vector<int32_t> functions;
  system_->dunzip = [&](UnzipParams* p) {
    functions.push_back(p->function);
    p->returnCount = 2;
    for (int32_t id : {2, 3, 4, 5, 11}) p->messageCallback(id, 0, 0, 0, "member", "", p->messageUserData);
    return 0;
  };
  EXPECT_TRUE(UnzipArchive(host_, "SAUVE.ZIP", "OUT", "*.*"));
  const std::string archive = (root_ / "FIC01" / "SAUVE.ZIP").string();
  const Calls once{"ERREUR,Impossible d'ouvrir le fichier : " + archive,
                   "ERREUR,Impossible de lire le fichier : " + archive,
                   "ERREUR,Impossible d'\xE9" "crire le fichier : member",  // the file, not the archive
                   "ERREUR,Impossible d'extraire les fichiers de " + archive};
  Calls twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(Commands(), twice);
  EXPECT_EQ(functions, (std::vector<int32_t>{1, 8}));
}

// A progress handler that throws inside the library stops the run, which fails with its text.
TEST_F(Procedures, ThrowingProgressStopsTheRunWithItsText) {
  const std::string archive = (root_ / "SAUVE.ZIP").string();
  ASSERT_TRUE(ZipArchive(host_, archive, "CLIENTS.FIC", 0, false));
  kvxtest::Runtime().failOn = "AFFICHE,JAUGE_JAUGE3";
  std::vector<std::string> problems;
  bool done = true;
  EXPECT_NO_THROW(done = ZipArchive(host_, (root_ / "NEW.ZIP").string(), "CLIENTS.FIC", 0, false, &problems));
  EXPECT_FALSE(done);
  EXPECT_EQ(problems, std::vector<std::string>{"host gone"});
  EXPECT_FALSE(fs::exists(root_ / "NEW.ZIP"));

  kvxtest::Runtime() = {};
  kvxtest::Runtime().failOn = "AFFICHE,LIB_Fichier_en_cours1";
  EXPECT_NO_THROW(done = UnzipArchive(host_, archive, (root_ / "OUT").string(), "*.*"));
  EXPECT_FALSE(done);
  EXPECT_EQ(Commands().back(), "ERREUR,host gone");
  EXPECT_FALSE(fs::exists(root_ / "OUT" / "CLIENTS.FIC"));
}

TEST_F(Procedures, UnreadableArchivesAreNotExtracted) {
  std::vector<int32_t> functions;
  system_->dunzip = [&](UnzipParams* p) {
    functions.push_back(p->function);
    return kvxzip::RunDunzip(p);
  };
  EXPECT_FALSE(UnzipArchive(host_, "MISSING.ZIP", (root_ / "OUT").string(), "*.*"));
  EXPECT_EQ(Commands(), Calls{"ERREUR,Impossible d'ouvrir le fichier : " + (root_ / "FIC01" / "MISSING.ZIP").string()});
  std::ofstream(root_ / "EMPTY.ZIP", std::ios::binary) << std::string("PK\x05\x06", 4) << std::string(18, '\0');
  EXPECT_FALSE(UnzipArchive(host_, (root_ / "EMPTY.ZIP").string(), (root_ / "OUT").string(), "*.*"));
  EXPECT_EQ(functions, (std::vector<int32_t>{1, 1}));
  EXPECT_FALSE(fs::exists(root_ / "OUT"));
}

}  // namespace
}  // namespace kvx
