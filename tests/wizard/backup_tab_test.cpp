// The wizard form's creation, its list file and the backup tab, headless, in a copy of
// the demo installation with the host stand-in in script mode.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "archive/archive_procedures.h"
#include "base/file_search.h"
#include "base/folders.h"
#include "host/param_files.h"
#include "host/profile.h"
#include "host/system_helpers.h"
#include "tests/wizard/wizard_fixture.h"
#include "wizard/enregistrer.h"
#include "wizard/wizard_paths.h"

namespace kvx {
namespace {

using Items = std::vector<std::string>;

const std::vector<ui::DriveInfo> kDrivesWithCD = {{'A', ui::DriveType::Removable, "", ""},
                                                   {'C', ui::DriveType::Fixed, "", ""},
                                                   {'D', ui::DriveType::Fixed, "DONNEES", ""},
                                                   {'E', ui::DriveType::CDROM, "", ""},
                                                   {'F', ui::DriveType::Network, "", "\\\\SRV\\PARTAGE"},
                                                   {'Z', ui::DriveType::Fixed, "", ""}};  // the current folder's

// The progress window's part of an archive made to another drive or folder.
const Items kProgressWindow = {"CMD EXéCUTE(\"OUVREFEN\",\"FEN_PROGRESS\")", "CMD Ouvre,FEN_Progress.wdw",
                               "CMD Handle,FEN_Progress", "CMD Multitache,-1"};
const Items kProgressClosed = {"CMD EXéCUTE(\"FermeFen\")", "CMD FERME"};

using BackupTab = WizardTest;

TEST_F(BackupTab, ListFileFillsTheThreeListsInOrder) {
  WriteBackupList("[Repertoire]\r\nNo=2\r\n0=A:\\SauveKVX.zip\r\n1=D:\\B\\SauveKVX.zip\r\n");
  TEnregistrer form(host_, burning_);
  const Items expected = {"A:\\SauveKVX.zip", "D:\\B\\SauveKVX.zip"};
  EXPECT_EQ(form.ComboBox1.Items(), expected);
  EXPECT_EQ(form.ComboBox2.Items(), expected);
  EXPECT_EQ(form.ListBox1.Items(), expected);
  EXPECT_EQ(form.ComboBox1.Text(), "A:\\SauveKVX.zip");
  EXPECT_EQ(form.BackupFileName(), "SauveKVX.zip");
}

TEST_F(BackupTab, WithoutAListTheDisketteIsTheFirstTarget) {
  TEnregistrer form(host_, burning_);
  EXPECT_EQ(form.ComboBox1.Items(), Items{"A:\\SauveKVX.zip"});
  EXPECT_EQ(form.ComboBox2.Items(), Items{"A:\\SauveKVX.zip"});
  EXPECT_TRUE(form.ListBox1.Items().empty());
  EXPECT_EQ(form.ComboBox1.Text(), "A:\\SauveKVX.zip");
  EXPECT_EQ(form.ComboBox2.Text(), "");  // loading the list empties it
}

TEST_F(BackupTab, ACountThatIsNoNumberStopsTheLoad) {
  WriteBackupList("[Repertoire]\r\nNo=deux\r\n0=A:\\SauveKVX.zip\r\n");
  TEnregistrer form(host_, burning_);
  EXPECT_TRUE(form.ComboBox1.Items().empty());
  EXPECT_TRUE(form.ListBox1.Items().empty());
  EXPECT_EQ(form.ComboBox1.Text(), "");
}

TEST_F(BackupTab, ADamagedCountIsToldAndTheListReadAsFarAsItGoes) {
  WriteBackupList("[Repertoire]\r\nNo=2000000000\r\n0=C:\\X\\SauveKVX.zip\r\n1=\r\n2=D:\\B\\SauveKVX.zip\r\n");
  TEnregistrer form(host_, burning_);
  EXPECT_EQ(form.ListBox1.Items(), (Items{"C:\\X\\SauveKVX.zip", "", "D:\\B\\SauveKVX.zip"}));
  EXPECT_EQ(form.ComboBox1.Text(), "A:\\SauveKVX.zip");
  EXPECT_EQ(session_.Dialogs().Transcript(),
            Items{"INFO La liste des sauvegardes SauvegardeKVX.ini est endommag\xE9" "e (No=2000000000) : seules les "
                  "entr\xE9" "es pr\xE9sentes sont charg\xE9" "es."});
}

TEST_F(BackupTab, EmptyEntriesAreLoadedButNotSaved) {
  WriteBackupList("[Repertoire]\r\nNo=3\r\n0=A:\\SauveKVX.zip\r\n1=\r\n2=C:\\X\\SauveKVX.zip\r\n3=C:\\OLD\r\n");
  {
    TEnregistrer form(host_, burning_);
    EXPECT_EQ(form.ComboBox2.Items(), (Items{"A:\\SauveKVX.zip", "", "C:\\X\\SauveKVX.zip"}));
    form.ShowModal();  // the driver-less show closes the form, which saves the list
  }
  EXPECT_EQ(ReadINIString("SauvegardeKVX.ini", "Repertoire", "No", ""), "2");
  EXPECT_EQ(ReadINIString("SauvegardeKVX.ini", "Repertoire", "1", ""), "C:\\X\\SauveKVX.zip");
  EXPECT_EQ(ReadINIString("SauvegardeKVX.ini", "Repertoire", "3", ""), "C:\\OLD");  // left by the earlier save
  TEnregistrer again(host_, burning_);
  EXPECT_EQ(again.ListBox1.Items(), (Items{"A:\\SauveKVX.zip", "C:\\X\\SauveKVX.zip"}));
}

TEST_F(BackupTab, TbqEditionRenamesTitlesDialogsAndTargets) {
  WriteFile(DataPath("PARAM.DTA"), "[COMPOSANTS]\r\nREPERTOIREF=" + AppPath("FIC01") + ",,,,,,,\r\nUSER=VELTRANOKISMARE,,,,,,,\r\n");
  TEnregistrer form(host_, burning_);
  EXPECT_EQ(form.BackupFileName(), "SauveTBQ.zip");
  EXPECT_EQ(form.ComboBox1.Items(), Items{"A:\\SauveTBQ.zip"});
  session_.SetDriver([&](ui::Form&) {
    EXPECT_EQ(form.Label7.Caption(), "Sauvegarde TBQ");
    EXPECT_EQ(form.Label8.Caption(), "Restauration TBQ");
    EXPECT_EQ(form.ComboBox1.Text(), "A:\\SauveTBQ.zip");
    EXPECT_EQ(form.ComboBox2.Text(), "A:\\SauveTBQ.zip");
    session_.Dialogs().CancelFile();
    ui::Press(form.BitBtn4);
  });
  form.ShowModal();
  EXPECT_EQ(session_.Dialogs().Transcript()[0], "SAVE A:\\|Sauvetbq.zip|Sauvetbq.zip|*.zip|Tous les fichiers|*.*|zip");
}

TEST_F(BackupTab, AnEditionKeyInOtherLettersIsTheStandardEdition) {
  WriteFile(DataPath("PARAM.DTA"), "[COMPOSANTS]\r\nUSER=veltranokismare,,,\r\n");
  TEnregistrer form(host_, burning_);
  EXPECT_EQ(form.BackupFileName(), "SauveKVX.zip");
}

TEST_F(BackupTab, EachWayOfChoosingATarget) {
  session_.SetDrives(kDrivesWithCD);
  TEnregistrer form(host_, burning_);
  EXPECT_EQ(form.CDDriveId(), "E:");
  EXPECT_EQ(form.Label4.Caption(), "CD-Rom (E:)");
  EXPECT_EQ(form.Label5.Caption(), "Lecteur");  // the first change notification leaves it

  session_.SetDriver([&](ui::Form&) {
    ui::Press(form.BitBtn1);
    ui::Press(form.BitBtn1);
    EXPECT_EQ(form.ComboBox1.Items(), Items{"A:\\SauveKVX.zip"});
    ui::Press(form.BitBtn2);
    EXPECT_EQ(form.ComboBox1.Text(), "E:\\SauveKVX.zip");
    form.DriveComboBox1.SetDrive('D');  // a choice in the drive box
    EXPECT_EQ(form.Label5.Caption(), "Lecteur ( D: )");
    EXPECT_EQ(form.ComboBox1.Text(), "D:\\SauveKVX.zip");
    form.ComboBox1.SetItemIndex(0);
    ui::Press(form.BitBtn3);
    EXPECT_EQ(form.ComboBox1.Text(), "D:\\SauveKVX.zip");
    form.DriveComboBox1.SetDrive('F');
    EXPECT_EQ(form.ComboBox1.Text(), "\\\\SRV\\PARTAGE\\SauveKVX.zip");
    EXPECT_EQ(form.Label5.Caption(), "Lecteur ( F: )");
    form.DriveComboBox1.SetDrive('A');  // already listed: chosen, not added again
  });
  form.ShowModal();
  const Items targets = {"A:\\SauveKVX.zip", "E:\\SauveKVX.zip", "D:\\SauveKVX.zip", "\\\\SRV\\PARTAGE\\SauveKVX.zip"};
  EXPECT_EQ(form.ComboBox1.Items(), targets);
  EXPECT_EQ(form.ComboBox2.Items(), targets);
  EXPECT_EQ(form.ComboBox1.Text(), "A:\\SauveKVX.zip");
}

TEST_F(BackupTab, WithoutACDDriveTheCDTargetIsNoDrive) {
  session_.SetDrives({{'C', ui::DriveType::Fixed, "", ""}});
  TEnregistrer form(host_, burning_);
  EXPECT_EQ(form.Label4.Caption(), "CD-Rom (XX)");
  form.BitBtn2Click();
  EXPECT_EQ(form.ComboBox1.Text(), "XX\\SauveKVX.zip");
}

TEST_F(BackupTab, AFileChosenInTheSaveDialogJoinsTheTargetsOnly) {
  TEnregistrer form(host_, burning_);
  form.ComboBox1.SetText(AppPath("SAUVES\\SauveKVX.zip"));
  session_.Dialogs().AnswerFile("C:\\AUTRE\\Copie.zip");
  form.BitBtn4Click();
  EXPECT_EQ(session_.Dialogs().Transcript(),
            Items{"SAVE " + AppPath("SAUVES\\") + "|SauveKVX.zip|Fichier compressé|*.zip|Tous les fichiers|*.*|zip"});
  EXPECT_EQ(form.ComboBox1.Text(), "C:\\AUTRE\\Copie.zip");
  EXPECT_EQ(form.ComboBox1.Items(), (Items{"A:\\SauveKVX.zip", "C:\\AUTRE\\Copie.zip"}));
  EXPECT_EQ(form.ComboBox2.Items(), Items{"A:\\SauveKVX.zip"});
  EXPECT_EQ(CurrentFolder(), AppPath("OUTILS"));
}

TEST_F(BackupTab, BackupToAFolderArchivesTheListedDataAndOpensTheFolder) {
  std::filesystem::create_directory(NativePath(WorkPath("SAUVES")));
  const std::string target = WorkPath("SAUVES\\SauveKVX.zip");
  const auto original = DataFiles();
  TEnregistrer form(host_, burning_);
  form.ComboBox1.UserType(target);  // typed by hand
  form.BitBtn5Click();

  EXPECT_EQ(form.Label6.Caption(), "Sauvegarde réussie !");
  EXPECT_TRUE(form.BitBtn5.Enabled());
  EXPECT_TRUE(form.BitBtn6.Enabled());
  EXPECT_FALSE(form.Animate1.Visible());
  EXPECT_FALSE(form.Animate1.Active());
  EXPECT_TRUE(form.ComboBox2.Contains(target));
  EXPECT_FALSE(form.ComboBox1.Contains(target));
  EXPECT_EQ(CurrentFolder(), AppPath("OUTILS"));
  EXPECT_EQ(session_.Dialogs().Transcript(), Items{"SHOW-FOLDER " + WorkPath("SAUVES\\")});

  Items expected = kProgressWindow;
  expected.push_back("CMD AFFICHE,JAUGE_JAUGE3=100");
  expected.insert(expected.end(), kProgressClosed.begin(), kProgressClosed.end());
  EXPECT_TRUE(InOrder(HostTranscript(), expected));
  EXPECT_TRUE(IsPlainFile(DataPath("TRAMES\\FACTURE.TRM")));  // TRAMES went into the data folder first

  // What the archive holds comes back byte for byte.
  ASSERT_TRUE(UnzipArchive(host_, target, WorkPath("OUT"), "*.*"));
  for (const char* name : {"CLIENTS.FIC", "ARTICLES.FIC", "VIDE.FIC", "CLIENTS.NDX", "ARTICLES.NDX", "ARTICLES.MMO",
                           "PARAM.DTA"})
    EXPECT_EQ(ReadFile(WorkPath(std::string("OUT\\") + name)), original.at(name)) << name;
  EXPECT_EQ(ReadFile(WorkPath("OUT\\IMAGES\\LOGO.BMP")), ReadFile(DataPath("IMAGES\\LOGO.BMP")));
  EXPECT_FALSE(IsPlainFile(WorkPath("OUT\\PATSAUVE.DTA")));
}

TEST_F(BackupTab, WithTheBoxClearedNoFolderOpens) {
  TEnregistrer form(host_, burning_);
  form.ComboBox1.UserType(WorkPath("SauveKVX.zip"));
  form.CheckBoxOuvDossier.UserClick();
  form.BitBtn5Click();
  EXPECT_EQ(form.Label6.Caption(), "Sauvegarde réussie !");
  EXPECT_TRUE(session_.Dialogs().Transcript().empty());
}

#ifdef _WIN32  // the diskette drive A: is a drive of the wine prefix
TEST_F(BackupTab, BackupToTheDisketteDriveWithoutTheProgressWindow) {
  const std::string diskette = std::string("Z:") + std::getenv("KVX_DRIVE_A");
  TEnregistrer form(host_, burning_);
  ASSERT_EQ(form.ComboBox1.Text(), "A:\\SauveKVX.zip");
  form.BitBtn5Click();
  EXPECT_EQ(form.Label6.Caption(), "Sauvegarde réussie !");
  EXPECT_TRUE(IsPlainFile("A:\\SauveKVX.zip"));
  EXPECT_FALSE(Contains(HostTranscript(), "CMD Ouvre,FEN_Progress.wdw"));
  EXPECT_TRUE(Contains(HostTranscript(), "CMD AFFICHE,JAUGE_JAUGE3=100"));
  EXPECT_EQ(session_.Dialogs().Transcript(), Items{"SHOW-FOLDER A:\\"});
  std::filesystem::remove(NativePath("A:\\SauveKVX.zip"));
}
#endif

TEST_F(BackupTab, AShareTargetGoesThroughTheProgressWindow) {
  TEnregistrer form(host_, burning_);
  form.ComboBox1.UserType("\\\\SRV\\PARTAGE\\SauveKVX.zip");
  form.BitBtn5Click();
  EXPECT_EQ(form.Label6.Caption(), "Echec de la sauvegarde !");  // there is no such server
  Items expected = kProgressWindow;
  expected.insert(expected.end(), kProgressClosed.begin(), kProgressClosed.end());
  EXPECT_TRUE(InOrder(HostTranscript(), expected));
  EXPECT_TRUE(session_.Dialogs().Transcript().empty());
  EXPECT_TRUE(form.BitBtn5.Enabled());
}

TEST_F(BackupTab, AFailedCompressionIsReportedAsAFailure) {
  TEnregistrer form(host_, burning_);
  form.ComboBox1.UserType(WorkPath("MANQUE\\SauveKVX.zip"));
  form.BitBtn5Click();
  EXPECT_EQ(form.Label6.Caption(), "Echec de la sauvegarde !");
  EXPECT_TRUE(session_.Dialogs().Transcript().empty());
}

// A data file that cannot be opened, or whose reading fails part way, fails the backup:
// the earlier archive stays as it was and one message names every file left out.
TEST_F(BackupTab, AnUnreadableDataFileFailsTheBackupAndKeepsTheEarlierArchive) {
  const std::string target = WorkPath("SauveKVX.zip");
  TEnregistrer form(host_, burning_);
  form.ComboBox1.UserType(target);
  form.CheckBoxOuvDossier.UserClick();
  form.BitBtn5Click();
  ASSERT_EQ(form.Label6.Caption(), "Sauvegarde réussie !");
  const std::string earlier = ReadFile(target);

  SetEnvironment("KVXZIP_FAULTS", "read-fail-at=CLIENTS.FIC@10;read-fail=ARTICLES.NDX");
  form.BitBtn5Click();
  SetEnvironment("KVXZIP_FAULTS", nullptr);
  EXPECT_EQ(form.Label6.Caption(), "Echec de la sauvegarde !");
  EXPECT_EQ(ReadFile(target), earlier);
  const Items shown = session_.Dialogs().Transcript();
  ASSERT_EQ(shown.size(), 1u);
  const std::string& text = shown[0];
  EXPECT_EQ(text.rfind("INFO Echec de la sauvegarde !\r\nImpossible de lire le fichier : ", 0), 0u) << text;
  const size_t cut = text.find("CLIENTS.FIC (");
  EXPECT_LT(cut, text.find("\r\nImpossible d'ouvrir le fichier : ")) << text;
  EXPECT_LT(text.find("\r\nImpossible d'ouvrir le fichier : "), text.find("ARTICLES.NDX (")) << text;
  EXPECT_EQ(text.find("\r\n", text.find("ARTICLES.NDX (")), std::string::npos) << text;  // two files, two lines

  // An archive that does not read back as it was written is no backup either.
  SetEnvironment("KVXZIP_FAULTS", "write-corrupt-at=300");
  form.BitBtn5Click();
  SetEnvironment("KVXZIP_FAULTS", nullptr);
  EXPECT_EQ(form.Label6.Caption(), "Echec de la sauvegarde !");
  EXPECT_EQ(ReadFile(target), earlier);
  ASSERT_EQ(session_.Dialogs().Transcript().size(), 2u);
  const std::string& check = session_.Dialogs().Transcript()[1];
  EXPECT_EQ(check.rfind("INFO Echec de la sauvegarde !\r\nImpossible de lire le fichier : ", 0), 0u) << check;
  EXPECT_NE(check.find("SauveKVX.zip (relecture "), std::string::npos) << check;
}

// Diskettes are written in place: not while the application may change the data files
// (no backup is, whatever its medium).
TEST_F(BackupTab, NoDisketteBackupWhileVolmeraRuns) {
  ASSERT_TRUE(Launch(AppPath("VOLMERA.EXE"), "/STAY", false));
  for (int wait = 0; wait < 200 && CountProcesses("VOLMERA.EXE") == 0; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  TEnregistrer form(host_, burning_);
  ASSERT_EQ(form.ComboBox1.Text(), "A:\\SauveKVX.zip");
  form.BitBtn5Click();
  KillProcesses("VOLMERA.EXE", true);
  EXPECT_EQ(form.Label6.Caption(), "Echec de la sauvegarde !");
  EXPECT_EQ(session_.Dialogs().Transcript(),
            Items{"INFO Echec de la sauvegarde !\r\nImpossible de sauvegarder la base de données si Volmera est ouvert"});
  EXPECT_FALSE(Contains(HostTranscript(), "CMD AFFICHE,JAUGE_JAUGE3=100")) << "the library was not called";
}

// Over the zip stand-in as it is and over its careless model (KVXZIP_MODEL=careless: it
// writes over the target in place, keeps a shortened member and answers 0 after a
// failure): the backup's safety is the toolbox's own.
class BackupModels : public WizardTest, public testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    SetEnvironment("KVXZIP_MODEL", GetParam());
  }
  void TearDown() override {
    SetEnvironment("KVXZIP_MODEL", nullptr);
    SetEnvironment("KVXZIP_FAULTS", nullptr);
    WizardTest::TearDown();
  }
};

TEST_P(BackupModels, EveryFailureKeepsTheEarlierArchiveAndIsTold) {
  const std::string target = WorkPath("SauveKVX.zip");
  TEnregistrer form(host_, burning_);
  form.ComboBox1.UserType(target);
  form.CheckBoxOuvDossier.UserClick();
  form.BitBtn5Click();
  ASSERT_EQ(form.Label6.Caption(), "Sauvegarde réussie !");
  const std::string earlier = ReadFile(target);
  WriteFile(DataPath("CLIENTS.FIC"), std::string(50000, 'n'));  // today's data differs
  struct Case {
    const char* faults;
    const char* told;  // a text of the message; null: the library may fail without a word
  };
  const Case cases[] = {{"read-fail-at=CLIENTS.FIC@10", "CLIENTS.FIC ("},
                        {"read-fail=ARTICLES.NDX", "ARTICLES.NDX"},  // told by the library or by the check
                        {"write-fail-after=300", nullptr},
                        {"write-corrupt-at=300", "SauveKVX.zip (relecture "}};
  for (const Case& c : cases) {
    const size_t shown = session_.Dialogs().Transcript().size();
    SetEnvironment("KVXZIP_FAULTS", c.faults);
    form.BitBtn5Click();
    EXPECT_EQ(form.Label6.Caption(), "Echec de la sauvegarde !") << c.faults;
    EXPECT_TRUE(ReadFile(target) == earlier) << c.faults;
    EXPECT_FALSE(IsPlainFile(target + ".$$$")) << c.faults;
    const Items dialogs = session_.Dialogs().Transcript();
    if (c.told) {
      ASSERT_EQ(dialogs.size(), shown + 1) << c.faults;
      EXPECT_EQ(dialogs.back().rfind("INFO Echec de la sauvegarde !\r\n", 0), 0u) << dialogs.back();
      EXPECT_NE(dialogs.back().find(c.told), std::string::npos) << dialogs.back();
    }
  }
}

// Files of one repeated byte whose size passes 256 KiB by a few bytes: the last
// compressed bytes of each expand past one output buffer of a reader.
TEST_P(BackupModels, LongRunsOfOneByteBackUpAndRestoreExactly) {
  std::map<std::string, std::string> runs;
  for (const size_t extra : {0, 1, 100, 4095, 65537})
    runs["RUN" + std::to_string(extra) + ".FIC"] = std::string((256u << 10) + extra, static_cast<char>('a' + extra % 26));
  for (const auto& [name, bytes] : runs) WriteFile(DataPath(name), bytes);
  const std::string target = WorkPath("SauveKVX.zip");
  TEnregistrer form(host_, burning_);
  form.ComboBox1.UserType(target);
  form.CheckBoxOuvDossier.UserClick();
  form.BitBtn5Click();
  ASSERT_EQ(form.Label6.Caption(), "Sauvegarde réussie !") << testing::PrintToString(session_.Dialogs().Transcript());
  ASSERT_TRUE(UnzipArchive(host_, target, WorkPath("OUT"), "*.*"));
  for (const auto& [name, bytes] : runs) EXPECT_TRUE(ReadFile(WorkPath("OUT\\" + name)) == bytes) << name;
}

INSTANTIATE_TEST_SUITE_P(Models, BackupModels, testing::Values("", "careless"),
                         [](const testing::TestParamInfo<const char*>& model) {
                           return std::string(*model.param ? model.param : "standin");
                         });

TEST_F(BackupTab, WithoutADataFolderNothingIsArchived) {
  WriteFile(DataPath("PARAM.DTA"), "[COMPOSANTS]\r\nVERSION=12,,,\r\n");
  TEnregistrer form(host_, burning_);
  form.ComboBox1.UserType(WorkPath("SauveKVX.zip"));
  form.BitBtn5Click();
  EXPECT_EQ(form.Label6.Caption(), "Echec de la sauvegarde ! Erreur lors de la lecture de Param.dta");
  EXPECT_FALSE(IsPlainFile(WorkPath("SauveKVX.zip")));
  EXPECT_TRUE(HostTranscript().empty());
  EXPECT_TRUE(form.BitBtn6.Enabled());
}

TEST_F(BackupTab, QuitClosesAndSavesWhatTheListHolds) {
  TEnregistrer form(host_, burning_);
  session_.SetDriver([&](ui::Form&) {
    form.ComboBox1.UserType("C:\\TAPE\\SauveKVX.zip");
    form.ComboBox2.AddItem("C:\\TAPE\\SauveKVX.zip");
    ui::Press(form.BitBtn6);
  });
  form.ShowModal();
  EXPECT_EQ(ReadINIString("SauvegardeKVX.ini", "Repertoire", "No", ""), "2");
  EXPECT_EQ(ReadINIString("SauvegardeKVX.ini", "Repertoire", "1", ""), "C:\\TAPE\\SauveKVX.zip");
}

}  // namespace
}  // namespace kvx
