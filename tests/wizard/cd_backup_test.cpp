// The backup tab's CD branch, headless: the staging archive (on C: under wine), the
// questions that choose the way to the disc, the shell route through the KVXCDBURN.DLL
// stand-in (under wine) and the burn wizard's modal show.
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "archive/archive_procedures.h"
#include "base/file_search.h"
#include "base/folders.h"
#ifdef _WIN32
#include "tests/wizard/shell_standin_win32.h"
#endif
#include "tests/wizard/wizard_fixture.h"
#include "wizard/cd_backup.h"
#include "wizard/enregistrer.h"
#include "wizard/wizard_paths.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using Items = std::vector<std::string>;

const std::string kAskXp = "CONFIRM      Voulez-vous utiliser l'assistant XP ?     ";
const std::string kAskWizard =
    "CONFIRM Cet assistant ne fonctionne que pour les versions XP\t voulez-vous continuez la sauvegarde sur CD-Rom";
// The staging archive of that name.
std::string Staged(const std::string& name) { return StagingFolder() + name; }

std::string ToldShellFailed() {
  return "INFO L'assistant XP ne peut pas graver " + Staged("SauveKVX.zip") + " : Interface non prise en charge";
}

// The wizard with the system question answered by the test, and a shell route that can fail.
class CDWizard : public TEnregistrer {
 public:
  CDWizard(HostBridge& host, BurnEngine& burning, bool xp, bool shellFails = false)
      : TEnregistrer(host, burning), xp_(xp), shellFails_(shellFails) {}

 protected:
  bool WindowsXPOrLater() const override { return xp_; }
  bool BurnWithShell(std::string& error) override {
    if (shellFails_) throw std::runtime_error("Interface non prise en charge");
    return TEnregistrer::BurnWithShell(error);
  }

 private:
  bool xp_;
  bool shellFails_;
};

// What the user saw of the burn wizard while the backup waited for it.
struct WizardShow {
  int count = 0;
  std::string caption;
  std::string archive;
  bool backupButtonsEnabled = true;
  bool stagingArchiveThere = false;
};

class CDBackup : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
#ifdef _WIN32
    ASSERT_TRUE(standIn_.Loaded());
#endif
    session_.SetDrives({{'C', ui::DriveType::Fixed, "", ""}, {'E', ui::DriveType::CDROM, "", ""}});
    RemoveStagingArchives();
    // The disc starts empty: its folder is shared by the run.
    std::error_code ignored;
    fs::remove_all(NativePath(DiscFolder()), ignored);
    fs::create_directories(NativePath(DiscFolder()));
    SetEnvironment("KVXCDBURN_DRIVE", "E:\\");
    SetEnvironment("KVXCDBURN_DISC", DiscFolder().c_str());
    SetEnvironment("KVXCDBURN_LOG", nullptr);
  }
  void TearDown() override {
    RemoveStagingArchives();
    SetEnvironment("KVXCDBURN_DRIVE", nullptr);
    SetEnvironment("KVXCDBURN_DISC", nullptr);
    SetEnvironment("KVXCDBURN_FAIL", nullptr);
    WizardTest::TearDown();
  }

  static void RemoveStagingArchives() {
    std::error_code ignored;
    for (const char* name : {"SauveKVX.zip", "SauveTBQ.zip"}) fs::remove_all(NativePath(Staged(name)), ignored);
  }

  // Chooses the CD target and makes the backup; the burn wizard, when shown, is looked at and quit.
  void BackUpToCD(TEnregistrer& form) {
    session_.SetDriver([this, &form](ui::Form& shown) {
      auto* graver = dynamic_cast<TGraver*>(&shown);
      ASSERT_NE(graver, nullptr);
      ++show_.count;
      show_.caption = graver->Caption();
      show_.archive = graver->Archive();
      show_.backupButtonsEnabled = form.BitBtn5.Enabled() || form.BitBtn6.Enabled();
      show_.stagingArchiveThere = IsPlainFile(form.StagingArchive());
      ui::Press(graver->Button2);
    });
    form.BitBtn2Click();
    ASSERT_EQ(form.ComboBox1.Text(), "E:\\" + form.BackupFileName());
    form.BitBtn5Click();
  }

  Items Dialogs() { return session_.Dialogs().Transcript(); }
  bool DiscIsEmpty() const { return fs::is_empty(NativePath(DiscFolder())); }
  // The folder that stands for the disc: under wine the one the recorder's drive E: leads
  // to for the run, so that the burned files read back through E:.
  std::string DiscFolder() const {
#ifdef _WIN32
    const char* drive = std::getenv("KVX_DRIVE_E");
    return std::string("Z:") + (drive ? drive : "/nonexistent");
#else
    return WorkPath("DISC");
#endif
  }

#ifdef _WIN32
  ShellStandIn standIn_;
#endif
  WizardShow show_;
};

TEST_F(CDBackup, OnAnOlderSystemTheBurnWizardOpensAtOnceOnTheStagingArchive) {
  const auto original = DataFiles();
  CDWizard form(host_, burning_, false);
  BackUpToCD(form);

  EXPECT_EQ(show_.count, 1);
  EXPECT_EQ(show_.caption, "Graver");
  EXPECT_EQ(show_.archive, Staged("SauveKVX.zip"));
  EXPECT_FALSE(show_.backupButtonsEnabled) << "both buttons stay disabled while the burn wizard is shown";
  EXPECT_TRUE(show_.stagingArchiveThere);
  EXPECT_TRUE(Dialogs().empty());
  EXPECT_EQ(form.Label6.Caption(), "");
  EXPECT_TRUE(form.BitBtn5.Enabled());
  EXPECT_TRUE(form.BitBtn6.Enabled());
  EXPECT_FALSE(form.Animate1.Visible());
  EXPECT_EQ(CurrentFolder(), AppPath("OUTILS"));
  EXPECT_FALSE(Contains(HostTranscript(), "CMD Ouvre,FEN_Progress.wdw"));
  EXPECT_TRUE(Contains(HostTranscript(), "CMD AFFICHE,JAUGE_JAUGE3=100"));

  // The staging archive stays and holds the listed data.
  ASSERT_TRUE(UnzipArchive(host_, Staged("SauveKVX.zip"), WorkPath("OUT"), "*.*"));
  for (const char* name : {"CLIENTS.FIC", "ARTICLES.FIC", "VIDE.FIC", "CLIENTS.NDX", "ARTICLES.NDX", "PARAM.DTA"})
    EXPECT_EQ(ReadFile(WorkPath(std::string("OUT\\") + name)), original.at(name)) << name;
  EXPECT_FALSE(IsPlainFile(WorkPath("OUT\\TRAMES\\FACTURE.TRM"))) << "the CD branch copies no TRAMES folder";
}

#ifdef _WIN32  // the running system's version and the shell stand-in's registration are Windows's
TEST_F(CDBackup, AnsweringNoToTheXpAssistantOpensTheBurnWizard) {
  TEnregistrer form(host_, burning_);  // wine reports a system after XP
  session_.Dialogs().AnswerNo();
  BackUpToCD(form);
  EXPECT_EQ(Dialogs(), Items{kAskXp});
  EXPECT_EQ(show_.count, 1);
  EXPECT_EQ(form.Label6.Caption(), "");
}

TEST_F(CDBackup, TheXpAssistantBurnsTheStagingArchiveOnTheComponentsThread) {
  ASSERT_TRUE(standIn_.Register());
  TEnregistrer form(host_, burning_);
  ASSERT_TRUE(form.CDBurner1.Equipped()) << form.CDBurner1.LastError();
  WriteFile(form.CDBurner1.BurnArea() + "SauveKVX.zip", "an earlier burn's archive");
  WriteFile(form.CDBurner1.BurnArea() + "ANCIEN.TXT", "left by an earlier burn");
  session_.Dialogs().AnswerYes();
  BackUpToCD(form);
  EXPECT_EQ(Dialogs(), Items{kAskXp});
  EXPECT_EQ(show_.count, 0);
  EXPECT_EQ(form.Label6.Caption(), "Gravure en cours ...");
  EXPECT_TRUE(form.BitBtn5.Enabled());

  ASSERT_NE(form.CDBurner1.BurnThreadFinished(), nullptr);
  ASSERT_TRUE(form.CDBurner1.BurnThreadFinished()->Wait(20000));
  ASSERT_TRUE(ui::PumpUntil([&] { return !form.CDBurner1.IsBurning(); }, std::chrono::seconds(10)));
  EXPECT_EQ(form.Label6.Caption(), "Gravure réussie !");
  EXPECT_EQ(Dialogs(), Items{kAskXp});
  EXPECT_EQ(ReadFile("E:\\SauveKVX.zip"), ReadFile("C:\\SauveKVX.zip"));
  EXPECT_FALSE(IsPlainFile("E:\\ANCIEN.TXT")) << "only today's archive is burned";
  EXPECT_TRUE(IsPlainFile("C:\\SauveKVX.zip")) << "the staging archive stays after the burn";
}

TEST_F(CDBackup, TheShellServicesFailureIsToldOnTheStatusLineAndToTheUser) {
  ASSERT_TRUE(standIn_.Register());
  SetEnvironment("KVXCDBURN_FAIL", "80004005");  // E_FAIL
  TEnregistrer form(host_, burning_);
  session_.Dialogs().AnswerYes();
  BackUpToCD(form);
  ASSERT_NE(form.CDBurner1.BurnThreadFinished(), nullptr);
  ASSERT_TRUE(form.CDBurner1.BurnThreadFinished()->Wait(20000));
  ASSERT_TRUE(ui::PumpUntil([&] { return !form.CDBurner1.IsBurning(); }, std::chrono::seconds(10)));
  const std::string failure = form.CDBurner1.LastError();
  EXPECT_FALSE(failure.empty());
  EXPECT_EQ(form.Label6.Caption(), "Echec de la gravure : " + failure);
  EXPECT_EQ(Dialogs(), (Items{kAskXp, "INFO L'assistant XP n'a pas gravé " + Staged("SauveKVX.zip") + " : " + failure}));
  EXPECT_TRUE(DiscIsEmpty());
}

TEST_F(CDBackup, WithoutTheShellServiceOrARecorderTheUserIsToldAndOfferedTheBurnWizard) {
  ASSERT_TRUE(standIn_.Unregister());
  {
    TEnregistrer form(host_, burning_);
    session_.Dialogs().AnswerYes();
    session_.Dialogs().AnswerNo();
    BackUpToCD(form);
    EXPECT_EQ(form.CDBurner1.BurnThreadFinished(), nullptr) << "nothing was started";
    EXPECT_EQ(form.Label6.Caption(), "");
  }
  ASSERT_TRUE(standIn_.Register());
  SetEnvironment("KVXCDBURN_DRIVE", nullptr);  // the service finds no recorder
  {
    TEnregistrer form(host_, burning_);
    EXPECT_EQ(form.CDBurner1.LastError(), "No CD Burner was found");
    session_.Dialogs().AnswerYes();
    session_.Dialogs().AnswerYes();
    BackUpToCD(form);
    EXPECT_EQ(form.CDBurner1.BurnThreadFinished(), nullptr);
    EXPECT_EQ(form.Label6.Caption(), "");
  }
  const Items dialogs = Dialogs();
  ASSERT_EQ(dialogs.size(), 6u);
  const std::string told = "INFO L'assistant XP ne peut pas graver C:\\SauveKVX.zip : ";
  EXPECT_EQ(dialogs[1].rfind(told + "No XP Compatible CDR API present", 0), 0u) << dialogs[1];
  EXPECT_EQ(dialogs[4], told + "No CD Burner was found");
  for (size_t i : {0, 3}) EXPECT_EQ(dialogs[i], kAskXp);
  for (size_t i : {2, 5}) EXPECT_EQ(dialogs[i], kAskWizard);
  EXPECT_EQ(show_.count, 1) << "the burn wizard, when accepted";
  EXPECT_TRUE(DiscIsEmpty());
}
#endif

TEST_F(CDBackup, AFailingShellRouteOffersTheBurnWizard) {
  {
    CDWizard form(host_, burning_, true, true);
    session_.Dialogs().AnswerYes();
    session_.Dialogs().AnswerYes();
    BackUpToCD(form);
    EXPECT_EQ(Dialogs(), (Items{kAskXp, ToldShellFailed(), kAskWizard}));
    EXPECT_EQ(show_.count, 1);
    EXPECT_EQ(form.Label6.Caption(), "");
  }
  session_.Dialogs().ClearTranscript();
  {
    CDWizard form(host_, burning_, true, true);
    session_.Dialogs().AnswerYes();
    session_.Dialogs().AnswerNo();
    BackUpToCD(form);
    EXPECT_EQ(Dialogs(), (Items{kAskXp, ToldShellFailed(), kAskWizard}));
    EXPECT_EQ(show_.count, 1) << "declining ends the backup without the burn wizard";
    EXPECT_TRUE(form.BitBtn5.Enabled());
    EXPECT_TRUE(form.BitBtn6.Enabled());
  }
  EXPECT_TRUE(DiscIsEmpty());
}

// The burn wizard is shown while the backup runs, as the host's message pump would
// deliver clicks meanwhile: nothing else may start, and the form may not close.
TEST_F(CDBackup, NothingElseStartsWhileABackupRuns) {
  const auto original = DataFiles();
  CDWizard form(host_, burning_, true);
  bool checked = false;
  session_.SetDriver([&](ui::Form& shown) {
    auto& graver = dynamic_cast<TGraver&>(shown);
    form.Edit1.SetText(Staged("SauveKVX.zip"));  // an archive that exists
    form.BitBtn7Click();
    form.ListBox1.AddItem(Staged("SauveKVX.zip"));
    form.ListBox1.SetItemIndex(0);
    form.ListBox1DblClick();
    form.PopupMenu1.Items()[0].Click();
    form.Edit2.SetText(WorkPath(""));
    form.BitBtn13Click();
    form.BitBtn5Click();
    form.BitBtn1Click();
    form.BitBtn6Click();
    EXPECT_EQ(form.Label9.Caption(), "");
    EXPECT_FALSE(form.Searching());
    EXPECT_EQ(form.Label6.Caption(), "Sauvegarde en cours ...");
    EXPECT_EQ(form.ComboBox1.Text(), "E:\\SauveKVX.zip");
    EXPECT_EQ(form.Graver(), &graver) << "the burn wizard stays while it is shown";
    checked = true;
    ui::Press(graver.Button2);
  });
  form.BitBtn2Click();
  session_.Dialogs().AnswerNo();  // no XP assistant: the burn wizard
  form.BitBtn5Click();
  EXPECT_TRUE(checked);
  EXPECT_EQ(Dialogs(), Items{kAskXp}) << "no restore question was asked";
  EXPECT_EQ(DataFiles(), original) << "no safety copy, no restore";
  form.BitBtn7Click();  // once the backup has ended, a restore runs
  EXPECT_NE(form.Label9.Caption(), "");
}

TEST_F(CDBackup, TheTbqEditionBurnsItsOwnStagingArchive) {
  WriteFile(DataPath("PARAM.DTA"),
            "[COMPOSANTS]\r\nREPERTOIREF=" + AppPath("FIC01") + ",,,,,,,\r\nUSER=VELTRANOKISMARE,,,,,,,\r\n");
  CDWizard form(host_, burning_, false);
  BackUpToCD(form);
  EXPECT_EQ(show_.archive, Staged("SauveTBQ.zip"));
  EXPECT_TRUE(show_.stagingArchiveThere);
  EXPECT_FALSE(IsPlainFile(Staged("SauveKVX.zip")));
}

TEST_F(CDBackup, AFailedCompressionBurnsNothing) {
  fs::create_directory(NativePath(Staged("SauveKVX.zip")));  // the staging archive cannot be replaced
  TEnregistrer form(host_, burning_);
  BackUpToCD(form);
  EXPECT_EQ(form.Label6.Caption(), "Echec de la sauvegarde !");
  ASSERT_EQ(Dialogs().size(), 1u);
  EXPECT_EQ(Dialogs()[0].rfind("INFO Echec de la sauvegarde !\r\nImpossible d'écrire le fichier : " +
                               SystemSeparators(Staged("SauveKVX.zip")) + " (", 0), 0u) << Dialogs()[0];
  EXPECT_EQ(show_.count, 0);
  EXPECT_TRUE(form.BitBtn5.Enabled());
}

// The staging archive is read back by the toolbox before anything is burned, over the
// stand-in as it is and over its careless model (which answers 0 over a damaged archive).
TEST_F(CDBackup, ADamagedStagingArchiveIsNotBurned) {
  for (const char* model : {"", "careless"}) {
    SetEnvironment("KVXZIP_MODEL", model);
    SetEnvironment("KVXZIP_FAULTS", "write-corrupt-at=300");
    CDWizard form(host_, burning_, false);
    BackUpToCD(form);
    SetEnvironment("KVXZIP_FAULTS", nullptr);
    SetEnvironment("KVXZIP_MODEL", nullptr);
    EXPECT_EQ(form.Label6.Caption(), "Echec de la sauvegarde !") << model;
    EXPECT_EQ(show_.count, 0) << model;
    EXPECT_FALSE(IsPlainFile(Staged("SauveKVX.zip"))) << model;
    ASSERT_FALSE(Dialogs().empty()) << model;
    EXPECT_NE(Dialogs().back().find("SauveKVX.zip (relecture "), std::string::npos) << Dialogs().back();
  }
}

TEST_F(CDBackup, TheQuitButtonsFreeTheBurnWizard) {
  for (int page = 0; page < 3; ++page) {
    TEnregistrer form(host_, burning_);
    ASSERT_NE(form.Graver(), nullptr);
    ui::Button* quit[] = {&form.BitBtn6, &form.BitBtn8, &form.BitBtn14};
    session_.SetDriver([&](ui::Form&) { ui::Press(*quit[page]); });
    form.PageControl1.SetActivePage(page);
    form.ShowModal();
    EXPECT_EQ(form.GetModalResult(), ui::ModalResult::Cancel) << page;
    EXPECT_EQ(form.Graver(), nullptr) << page;
  }
}

}  // namespace
}  // namespace kvx
