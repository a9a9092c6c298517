// The restore and options tabs and the two menu actions, headless, in a copy of the
// demo installation with the host stand-in in script mode.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <optional>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "archive/archive_procedures.h"
#include "base/file_search.h"
#include "base/folders.h"
#include "host/param_files.h"
#include "host/profile.h"
#include "host/system_helpers.h"
#include "host/text_helpers.h"
#include "tests/support/test_files.h"
#include "tests/wizard/wizard_fixture.h"
#include "wizard/enregistrer.h"
#include "archive/restore_journal.h"
#include "archive/restore_procedure.h"
#include "wizard/wizard_paths.h"
#include "wizard/wizard_actions.h"

namespace kvx {
namespace {

using Items = std::vector<std::string>;
using Tree = std::map<std::string, std::string>;  // relative path -> bytes ("/" for a folder)
using namespace std::chrono_literals;
namespace fs = std::filesystem;

#ifndef _WIN32
// The folder made to hold exactly the tree again.
void PutTree(const fs::path& root, const Tree& tree) {
  for (const fs::directory_entry& entry : fs::directory_iterator(root)) fs::remove_all(entry.path());
  for (const auto& [name, bytes] : tree) {
    if (bytes == "/") {
      fs::create_directories(root / name);
    } else {
      fs::create_directories((root / name).parent_path());
      std::ofstream(root / name, std::ios::binary) << bytes;
    }
  }
}
#endif

constexpr char kStartQuestion[] = "CONFIRM  Voulez vous démarrer la restauration ?";

class RestoreTab : public WizardTest {
 protected:
  // A backup of the installation's data as it is now, made the way the wizard makes one.
  std::string MakeBackup() {
    const std::string archive = WorkPath("SauveKVX.zip");
    TEnregistrer form(host_, burning_);
    form.ComboBox1.UserType(archive);
    form.CheckBoxOuvDossier.SetChecked(false);
    form.BitBtn5Click();
    EXPECT_EQ(form.Label6.Caption(), "Sauvegarde réussie !");
    return archive;
  }

  // Damages the data the way a restore is meant to repair.
  void DamageData() {
    WriteFile(DataPath("CLIENTS.FIC"), "abîmé");
    std::filesystem::remove(NativePath(DataPath("ARTICLES.NDX")));
    std::filesystem::remove(NativePath(DataPath("IMAGES\\LOGO.BMP")));
  }

  std::string SafetyCopy(int counter) const {
    return DataPath(DateStamp(false).substr(2, 6) + ZeroPad(counter, 2) + ".ZIP");
  }

  std::string ParamField(const char* key) const {
    table_param table;
    ReadFieldTable(DataPath("PARAM.DTA"), key, kComposants, table);
    return table[1];
  }
};

TEST_F(RestoreTab, ARestoreBringsTheDataBackAndRunsTheConverter) {
  const std::string archive = MakeBackup();
  const auto original = DataFiles();
  const std::string logo = ReadFile(DataPath("IMAGES\\LOGO.BMP"));
  DamageData();
  // PARAM.DTA names the data folder in long form; the restore writes back its short form.
  WriteFile(DataPath("PARAM.DTA"), "[COMPOSANTS]\r\nREPERTOIREF=" + AppPath("FIC01") + "\r\nUSER=KVX\r\nVERSION=14,x\r\n");

  TEnregistrer form(host_, burning_);
  form.Edit1.SetText(archive);
  form.BitBtn7Click();

  EXPECT_EQ(form.Label9.Caption(), "La restauration a été effectuée avec succes !");
  EXPECT_EQ(form.Gauge1.Progress(), 100);
  EXPECT_FALSE(form.Gauge1.Visible());
  EXPECT_FALSE(form.Timer1.Enabled());
  EXPECT_TRUE(form.BitBtn7.Enabled());
  EXPECT_TRUE(form.BitBtn8.Enabled());
  EXPECT_EQ(CurrentFolder(), AppPath("OUTILS"));

  auto restored = DataFiles();
  restored.erase(DateStamp(false).substr(2, 6) + "01.ZIP");
  EXPECT_EQ(restored.size(), original.size());
  for (const auto& [name, bytes] : original) {
    if (name == "PARAM.DTA") continue;
    EXPECT_EQ(restored[name], bytes) << name;
  }
  EXPECT_EQ(ReadFile(DataPath("IMAGES\\LOGO.BMP")), logo);
  EXPECT_TRUE(IsPlainFile(SafetyCopy(1)));
  EXPECT_EQ(session_.Dialogs().Transcript(),
            Items{"INFO Les données d'avant la restauration sont dans la copie de sécurité " + SafetyCopy(1) + "."});
  EXPECT_TRUE(IsPlainFile(AppPath("TRAMES\\FACTURE.TRM")));

  // The values read before the restore are written back over the restored file.
  EXPECT_EQ(ReadINIString(DataPath("PARAM.DTA"), "COMPOSANTS", "REPERTOIREF", ""), AppPath("FIC01\\") + ",,,,,,,");
  EXPECT_EQ(ReadINIString(DataPath("PARAM.DTA"), "COMPOSANTS", "VERSION", ""), "14,,,,,,,");
  EXPECT_EQ(ReadINIString(DataPath("PARAM.DTA"), "COMPOSANTS", "USER", ""), "KVX,,,,,,,");  // from the archive

  EXPECT_EQ(ToolLog(), (Items{"WDMODFIC.EXE\t" +
                                  ToolArguments("-error -nobackup /WDD=\"GELDOR.WDD\" /DIR=\"" + AppPath("FIC01\\") + "\"") +
                                  "\t" + AppPath("OUTILS"),
                              "TRANSFMO.EXE\tMAJ\t" + AppPath("OUTILS")}));
  EXPECT_TRUE(Contains(HostTranscript(), "CMD AFFICHE,JAUGE_JAUGE1=100"));
}

// Neither tab changes or copies the data while the application may be changing it, nor
// while a restore that no start could settle leaves a journal behind.
TEST_F(RestoreTab, NeitherTabRunsWhileVolmeraRunsOrAJournalIsLeft) {
  const std::string archive = MakeBackup();
  const std::string earlier = ReadFile(archive);
  DamageData();
  const auto before = DataFiles();
  const std::string journal = AppPath("OUTILS\\KVXRESTO.JNL");
  struct Case {
    const char* what;
    const char* backupTold;
    const char* restoreTold;
  };
  const Case cases[] = {
      {"volmera", "Impossible de sauvegarder la base de données si Volmera est ouvert",
       "Impossible de restaurer la base de données si Volmera est ouvert"},
      {"journal", "n'est pas valable", "n'est pas valable"},
  };
  for (const Case& c : cases) {
    if (std::string(c.what) == "volmera") {
      ASSERT_TRUE(Launch(AppPath("VOLMERA.EXE"), "/STAY", false));
      for (int wait = 0; wait < 200 && CountProcesses("VOLMERA.EXE") == 0; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } else {
      WriteFile(journal, "not a journal\r\n");
    }
    const size_t shown = session_.Dialogs().Transcript().size();
    TEnregistrer form(host_, burning_);
    form.ComboBox1.UserType(archive);
    form.CheckBoxOuvDossier.SetChecked(false);
    form.BitBtn5Click();
    form.Edit1.SetText(archive);
    form.BitBtn7Click();
    KillProcesses("VOLMERA.EXE", true);  // and gone before the next case looks for it
    for (int wait = 0; wait < 200 && CountProcesses("VOLMERA.EXE") > 0; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(form.Label6.Caption(), "Echec de la sauvegarde !") << c.what;
    EXPECT_EQ(form.Label9.Caption(), "Echec de la restauration !") << c.what;
    EXPECT_EQ(ReadFile(archive), earlier) << c.what;
    EXPECT_EQ(DataFiles(), before) << c.what;
    const auto& dialogs = session_.Dialogs().Transcript();
    ASSERT_EQ(dialogs.size(), shown + 2) << c.what;
    EXPECT_NE(dialogs[shown].find(c.backupTold), std::string::npos) << dialogs[shown];
    EXPECT_NE(dialogs[shown + 1].find(c.restoreTold), std::string::npos) << dialogs[shown + 1];
    if (std::string(c.what) == "journal") {
      EXPECT_EQ(ReadFile(journal), "not a journal\r\n");  // left for the start to set aside
    }
  }
}

TEST_F(RestoreTab, SafetyCopiesOfTheDayCountOn) {
  const std::string archive = MakeBackup();
  WriteFile(SafetyCopy(1), "old");
  WriteFile(SafetyCopy(2), "old");
  TEnregistrer form(host_, burning_);
  form.Edit1.SetText(archive);
  form.BitBtn7Click();
  EXPECT_EQ(ReadFile(SafetyCopy(1)), "old");
  EXPECT_EQ(ReadFile(SafetyCopy(2)), "old");
  ASSERT_TRUE(IsPlainFile(SafetyCopy(3)));
  // The third copy holds the data as it was before the restore.
  ASSERT_TRUE(UnzipArchive(host_, SafetyCopy(3), WorkPath("COPIE"), "*.*"));
  EXPECT_EQ(ReadFile(WorkPath("COPIE\\CLIENTS.FIC")), ReadFile(DataPath("CLIENTS.FIC")));
}

TEST_F(RestoreTab, WithoutItsListFileTheWholeDataFolderIsKept) {
  const std::string archive = MakeBackup();
  std::filesystem::remove(NativePath(DataPath("PATSAUVE.DTA")));
  WriteFile(DataPath("NOTES.TXT"), "notes du client");
  WriteFile(SafetyCopy(1), "earlier copy");
  TEnregistrer form(host_, burning_);
  form.Edit1.SetText(archive);
  form.BitBtn7Click();
  ASSERT_TRUE(UnzipArchive(host_, SafetyCopy(2), WorkPath("COPIE"), "*.*"));
  EXPECT_EQ(ReadFile(WorkPath("COPIE\\NOTES.TXT")), "notes du client");
  EXPECT_TRUE(IsPlainFile(WorkPath("COPIE\\IMAGES\\LOGO.BMP")));
  EXPECT_FALSE(IsPlainFile(WorkPath("COPIE\\" + DateStamp(false).substr(2, 6) + "01.ZIP")));
}

TEST_F(RestoreTab, AMissingArchiveChangesNothing) {
  const auto before = DataFiles();
  TEnregistrer form(host_, burning_);
  form.Edit1.SetText(WorkPath("ABSENT.zip"));
  form.BitBtn7Click();
  EXPECT_EQ(form.Label9.Caption(), "Le fichier sélectionné n'existe pas !");
  EXPECT_EQ(DataFiles(), before);
  EXPECT_TRUE(ToolLog().empty());
  EXPECT_FALSE(form.Gauge1.Visible());
  EXPECT_TRUE(form.BitBtn8.Enabled());
}

TEST_F(RestoreTab, AnArchiveThatCannotBeExtractedLeavesTheDataAndParametersAlone) {
  for (const std::string& bytes : {std::string("PK\x03\x04 not really a zip"), std::string("PK\x05\x06", 4) + std::string(18, '\0')}) {
    SCOPED_TRACE(bytes.size());
    WriteFile(WorkPath("BAD.zip"), bytes);
    const auto before = DataFiles();
    TEnregistrer form(host_, burning_);
    form.Edit1.SetText(WorkPath("BAD.zip"));
    form.BitBtn7Click();
    EXPECT_EQ(form.Label9.Caption(), "Echec de la restauration !");
    EXPECT_EQ(DataFiles(), before) << "no safety copy is left beside unchanged data";
    EXPECT_FALSE(std::filesystem::exists(NativePath(DataPath("KVXR0001.$$$"))));
    EXPECT_TRUE(ToolLog().empty());
    EXPECT_FALSE(form.Timer1.Enabled());
    EXPECT_EQ(CurrentFolder(), AppPath("OUTILS"));
  }
}

TEST_F(RestoreTab, AMissingDataVersionStopsBeforeTheConverter) {
  const std::string archive = MakeBackup();
  WriteFile(DataPath("PARAM.DTA"), "[COMPOSANTS]\r\nREPERTOIREF=" + AppPath("FIC01") + ",,,,,,,\r\n");
  WriteFile(DataPath("CLIENTS.FIC"), "changed since the backup");
  const auto before = DataFiles();
  TEnregistrer form(host_, burning_);
  form.Edit1.SetText(archive);
  form.BitBtn7Click();
  EXPECT_EQ(form.Label9.Caption(), "Echec de la restauration !");
  EXPECT_EQ(session_.Dialogs().Transcript(),
            Items{"INFO ERREUR.Attention certains fichiers sont dans une version trop ancienne pour etre récupérer "
                  "simplement.\r\nContactez le service technique."});
  EXPECT_TRUE(ToolLog().empty());
  EXPECT_EQ(DataFiles(), before) << "the data stays as it was";
}

// The backup of the folder itself (members FIC01/...), as a compressed folder made by the
// system's shell holds it, would land in FIC01\\FIC01: refused before anything changes.
TEST_F(RestoreTab, AnArchiveOfTheFolderItselfIsRefusedBeforeAnythingChanges) {
  {
    CurrentFolderGuard keep;
    ASSERT_TRUE(SetCurrentFolder(AppPath("")));
    ASSERT_TRUE(ZipArchive(host_, WorkPath("DOSSIER.zip"), "FIC01\\*.*", 0, true));
  }
  WriteFile(DataPath("CLIENTS.FIC"), "changed since the backup");
  const Tree before = test::ReadTree(NativePath(DataPath("")));
  TEnregistrer form(host_, burning_);
  form.Edit1.SetText(WorkPath("DOSSIER.zip"));
  form.BitBtn7Click();
  EXPECT_EQ(form.Label9.Caption(), "Echec de la restauration !");
  EXPECT_EQ(session_.Dialogs().Transcript(),
            Items{"INFO L'archive " + WorkPath("DOSSIER.zip") + " ne contient rien de ce qu'une sauvegarde de " +
                  DataPath("") + " met à sa racine : tout y est sous le dossier FIC01\\, c'est la sauvegarde d'un "
                  "dossier et non de son contenu. Les données n'ont pas été modifiées."});
  EXPECT_EQ(test::ReadTree(NativePath(DataPath(""))), before);
  EXPECT_FALSE(FileExists(JournalPath(AppPath("OUTILS\\"))));
  EXPECT_TRUE(ToolLog().empty());
}

#ifdef _WIN32  // only Windows refuses to move a file another program holds open
// A data file held open without delete sharing (by the business application, say)
// cannot be moved aside: the switch stops at it, the last entry by name, and every
// file switched before goes back.
TEST_F(RestoreTab, ASwitchThatFailsPartWayPutsEveryOriginalBack) {
  const std::string archive = MakeBackup();
  DamageData();
  const auto before = DataFiles();
  const std::string logo = ReadFile(DataPath("IMAGES\\LOGO.BMP"));
  HANDLE held = CreateFileA(DataPath("VIDE.FIC").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  TEnregistrer form(host_, burning_);
  form.Edit1.SetText(archive);
  form.BitBtn7Click();
  CloseHandle(held);
  EXPECT_EQ(form.Label9.Caption(), "Echec de la restauration !");
  EXPECT_EQ(session_.Dialogs().Transcript(),
            Items{"INFO Les fichiers de " + AppPath("FIC01\\") + " n'ont pas pu être remplacés. Les données n'ont pas "
                  "été modifiées."});
  EXPECT_EQ(DataFiles(), before);
  EXPECT_EQ(ReadFile(DataPath("IMAGES\\LOGO.BMP")), logo);
  EXPECT_FALSE(std::filesystem::exists(NativePath(DataPath("KVXR0001.$$$"))));
  EXPECT_TRUE(ToolLog().empty());
}
#endif

// A restore never takes, nor removes, the work folder of another one, running or interrupted.
TEST_F(RestoreTab, EachRestoreHasAWorkFolderOfItsOwn) {
  const std::string archive = MakeBackup();
  std::filesystem::create_directory(NativePath(DataPath("KVXR0001.$$$")));
  WriteFile(DataPath("KVXR0001.$$$\\CLIENTS.FIC"), "left by an interrupted restore");
  EXPECT_EQ(NextWorkFolder(DataPath("")), DataPath("KVXR0002.$$$\\"));
  TEnregistrer form(host_, burning_);
  form.Edit1.SetText(archive);
  form.BitBtn7Click();
  EXPECT_EQ(form.Label9.Caption(), "La restauration a été effectuée avec succes !");
  EXPECT_EQ(ReadFile(DataPath("KVXR0001.$$$\\CLIENTS.FIC")), "left by an interrupted restore");
  EXPECT_FALSE(std::filesystem::exists(NativePath(DataPath("KVXR0002.$$$"))));
}

// The safety copy holds every entry the switch may replace, whatever PATSAUVE.DTA names,
// subfolders included.
TEST_F(RestoreTab, AFailingConverterIsAFailureThatNamesTheSafetyCopy) {
  const std::string archive = MakeBackup();
  fs::create_directories(NativePath(DataPath("IMAGES\\ANCIENS")));
  WriteFile(DataPath("IMAGES\\ANCIENS\\LOGO1998.BMP"), "logo de 1998");
  WriteFile(DataPath("NOTES.TXT"), "notes du client");
  DamageData();
  const Tree before = test::ReadTree(NativePath(DataPath("")));
  SetEnvironment("KVXTOOL_FAIL", "WDMODFIC.EXE");
  TEnregistrer form(host_, burning_);
  form.Edit1.SetText(archive);
  form.BitBtn7Click();
  SetEnvironment("KVXTOOL_FAIL", nullptr);
  EXPECT_EQ(form.Label9.Caption(), "Echec de la restauration !");
  ASSERT_TRUE(IsPlainFile(SafetyCopy(1)));
  const Items dialogs = session_.Dialogs().Transcript();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].rfind("INFO La mise à jour des fichiers restaurés par WDMODFIC.EXE a échoué. Les données "
                             "d'avant la restauration sont dans la copie de sécurité ", 0), 0u) << dialogs[0];
  EXPECT_NE(dialogs[0].find(DateStamp(false).substr(2, 6) + "01.ZIP."), std::string::npos) << dialogs[0];
  EXPECT_EQ(ToolLog().size(), 1u) << "TRANSFMO.EXE does not run after a failed WDMODFIC.EXE";
  ASSERT_TRUE(UnzipArchive(host_, SafetyCopy(1), WorkPath("COPIE"), "*.*"));
  EXPECT_EQ(test::ReadTree(NativePath(WorkPath("COPIE"))), before);
}

#ifndef _WIN32
// The whole wizard restore in a child process that KVXRESTORE_STOP_AFTER may end; its exit code.
int RestoreInChild(TEnregistrer& form, int stopAfter) {
  const pid_t child = fork();
  if (child == 0) {
    setenv("KVXRESTORE_STOP_AFTER", std::to_string(stopAfter).c_str(), 1);
    form.BitBtn7Click();
    _exit(form.Label9.Caption() == "La restauration a été effectuée avec succes !" ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A restore stopped after each of its steps in turn: the next start finds the data folder
// as it was, byte for byte, or, once the journal says the switch was made, as a whole
// restore leaves it.
TEST_F(RestoreTab, ARestoreStoppedAfterAnyStepIsUndoneOrEndedAtTheNextStart) {
  const std::string archive = MakeBackup();
  fs::create_directories(NativePath(DataPath("IMAGES\\ANCIENS")));
  WriteFile(DataPath("IMAGES\\ANCIENS\\LOGO1998.BMP"), "logo de 1998");
  DamageData();
  // The installation's TRAMES, which the restore replaces by the archive's, changed since.
  WriteFile(AppPath("TRAMES\\FACTURE.TRM"), "facture changée");
  WriteFile(AppPath("TRAMES\\NOUVELLE.TRM"), "nouvelle trame");
  const fs::path data = NativePath(DataPath("")), frames = NativePath(AppPath("TRAMES"));
  const std::string safetyCopy = DateStamp(false).substr(2, 6) + "01.ZIP";
  const std::string journal = JournalPath(AppPath("OUTILS\\"));
  const Tree before = test::ReadTree(data), framesBefore = test::ReadTree(frames);
  TEnregistrer form(host_, burning_);
  form.Edit1.SetText(archive);
  ASSERT_EQ(RestoreInChild(form, 0), 0);
  Tree restored = test::ReadTree(data);
  const Tree framesRestored = test::ReadTree(frames);
  ASSERT_EQ(restored.erase(safetyCopy), 1u);
  ASSERT_NE(restored, before);
  ASSERT_NE(framesRestored, framesBefore);
  EXPECT_EQ(framesRestored.at("FACTURE.TRM"), restored.at("TRAMES/FACTURE.TRM"));
  PutTree(data, before);
  PutTree(frames, framesBefore);

  int stop = 1;
  for (; RestoreInChild(form, stop) == 86; ++stop) {
    SCOPED_TRACE(stop);
    // A journal is on disk from the first step to the last, which removes it.
    const std::optional<RestoreRecord> record = ReadRestoreJournal(journal);
    ASSERT_EQ(record.has_value(), FileExists(journal));
    const RecoveryReport recovery = RecoverInterruptedRestore(AppPath("OUTILS\\"));
    EXPECT_EQ(recovery.found, record.has_value());
    EXPECT_FALSE(recovery.failed) << recovery.message;
    EXPECT_FALSE(FileExists(journal));
    Tree now = test::ReadTree(data);
    if (!record || record->switched) {
      EXPECT_EQ(now.erase(safetyCopy), 1u) << "the data as it was stays in the safety copy";
      EXPECT_EQ(now, restored);
      EXPECT_EQ(test::ReadTree(frames), framesRestored);
    } else {
      EXPECT_EQ(now, before);
      EXPECT_EQ(test::ReadTree(frames), framesBefore);
    }
    EXPECT_FALSE(fs::exists(NativePath(AppPath("KVXR0001.$$$"))));
    PutTree(data, before);
    PutTree(frames, framesBefore);
  }
  // Journal, safety copy, extraction, parameters, TRAMES aside, flush, plan, the renames,
  // the switch's end, the converters, the work folders, the journal.
  EXPECT_GE(stop - 1, 12);
  RecordProperty("steps", stop - 1);
  std::printf("restore steps stopped after: %d\n", stop - 1);
  EXPECT_EQ(test::ReadTree(data).size(), restored.size() + 1) << "the last run, not stopped, restored";
}

// A PARAM.DTA outside the data folder is rewritten before the switch: a restore stopped
// after that, or part-way through the switch, puts it back with the data.
TEST_F(RestoreTab, AnOutsideParameterFileIsPutBackWithTheData) {
  const fs::path outside = NativePath(AppPath("DONNEES"));
  fs::copy(NativePath(DataPath("")), outside, fs::copy_options::recursive);
  fs::remove(outside / "PARAM.DTA");
  // Its list no longer names the parameter file, which this data folder does not hold: an
  // entry naming nothing fails the backup.
  std::ofstream(outside / "PATSAUVE.DTA", std::ios::binary) << "*.FIC\r\n*.NDX\r\n*.MMO\r\nIMAGES\r\n";
  WriteFile(DataPath("PARAM.DTA"), "[COMPOSANTS]\r\nREPERTOIREF=" + AppPath("DONNEES") + ",0,1\r\nUSER=KVX,,\r\n"
                                   "VERSION=14,2,3\r\n");
  const std::string archive = MakeBackup();
  const std::string parameters = ReadFile(DataPath("PARAM.DTA"));
  const Tree before = test::ReadTree(outside);
  TEnregistrer form(host_, burning_);
  form.Edit1.SetText(archive);
  for (int stop : {4, 7, 9}) {
    SCOPED_TRACE(stop);
    ASSERT_EQ(RestoreInChild(form, stop), 86);
    EXPECT_NE(ReadFile(DataPath("PARAM.DTA")), parameters) << "rewritten before the stop";
    EXPECT_FALSE(RecoverInterruptedRestore(AppPath("OUTILS\\")).failed);
    EXPECT_EQ(ReadFile(DataPath("PARAM.DTA")), parameters);
    EXPECT_EQ(test::ReadTree(outside), before);
  }
}
#endif

TEST_F(RestoreTab, TheGaugeRunsRoundWhileTheTimerTicks) {
  TEnregistrer form(host_, burning_);
  form.Timer1.SetEnabled(true);
  EXPECT_EQ(form.Timer1.Interval(), 600);
  std::vector<int64_t> shown;
  for (int tick = 0; tick < 22; ++tick) {
    form.Timer1.Tick();
    shown.push_back(form.Gauge1.Progress());
  }
  std::vector<int64_t> expected;
  for (int value = 5; value <= 100; value += 5) expected.push_back(value);
  expected.push_back(0);
  expected.push_back(5);
  EXPECT_EQ(shown, expected);
}

TEST_F(RestoreTab, ChoosingTheArchiveFromTheListOrTheOpenDialog) {
  WriteBackupList("[Repertoire]\r\nNo=2\r\n0=A:\\SauveKVX.zip\r\n1=" + WorkPath("ABSENT.zip") + "\r\n");
  TEnregistrer form(host_, burning_);
  form.ListBox1.UserSelect(0);
  EXPECT_EQ(form.Edit1.Text(), "A:\\SauveKVX.zip");

  session_.Dialogs().AnswerNo();
  form.ListBox1.UserDoubleClick(1);
  EXPECT_EQ(form.Label9.Caption(), "");  // no restore
  session_.Dialogs().AnswerYes();
  form.PageControl1.SetActivePage(form.TabSheet3);
  form.ListBox1.UserDoubleClick(1);
  EXPECT_EQ(form.PageControl1.ActivePage(), &form.TabSheet2);
  EXPECT_EQ(form.Label9.Caption(), "Le fichier sélectionné n'existe pas !");

  // The context menu's default entry restores as the button does.
  const auto& menu = form.PopupMenu1.Items();
  ASSERT_EQ(menu.size(), 4u);
  EXPECT_TRUE(menu[0].isDefault);
  EXPECT_TRUE(menu[1].IsSeparator());
  EXPECT_EQ(menu[2].caption + "/" + menu[3].caption, "Ouvrir/atteindre");
  EXPECT_EQ(form.ListBox1.GetPopupMenu(), &form.PopupMenu1);
  EXPECT_EQ(form.ListBox2.GetPopupMenu(), &form.PopupMenu1);
  form.Label9.SetCaption("");
  menu[0].Click();
  EXPECT_EQ(form.Label9.Caption(), "Le fichier sélectionné n'existe pas !");

  session_.Dialogs().AnswerFile("C:\\AILLEURS\\SauveKVX.zip");
  form.BitBtn9Click();
  EXPECT_EQ(form.Edit1.Text(), "C:\\AILLEURS\\SauveKVX.zip");
  EXPECT_EQ(session_.Dialogs().Transcript(),
            (Items{kStartQuestion, kStartQuestion,
                   "OPEN " + WorkPath("") + "|SauveKVX.zip|SauveKVX.zip|*.zip|Tous les fichiers|*.*|"}));
  EXPECT_EQ(CurrentFolder(), AppPath("OUTILS"));
}

TEST_F(RestoreTab, AFoundBackupJoinsTheRestoreList) {
  WriteBackupList("[Repertoire]\r\nNo=1\r\n0=" + WorkPath("X\\SauveKVX.zip") + "\r\n");
  TEnregistrer form(host_, burning_);
  form.ListBox2.AddItem(WorkPath("Y\\SauveKVX.zip"));
  form.ListBox2.AddItem(WorkPath("X\\SauveKVX.zip"));
  session_.Dialogs().AnswerYes();
  form.ListBox2.UserDoubleClick(0);
  EXPECT_EQ(form.ListBox1.Items(), (Items{WorkPath("X\\SauveKVX.zip"), WorkPath("Y\\SauveKVX.zip")}));
  EXPECT_EQ(form.ListBox1.ItemIndex(), 1);
  EXPECT_EQ(form.Edit1.Text(), WorkPath("Y\\SauveKVX.zip"));
  EXPECT_EQ(form.Label9.Caption(), "Le fichier sélectionné n'existe pas !");
  session_.Dialogs().AnswerYes();
  form.ListBox2.UserDoubleClick(1);
  EXPECT_EQ(form.ListBox1.Count(), 2);
  EXPECT_EQ(form.ListBox1.ItemIndex(), 0);
}

TEST_F(RestoreTab, TheOptionsTabEditsACopyOfTheTargets) {
  WriteBackupList("[Repertoire]\r\nNo=2\r\n0=A:\\SauveKVX.zip\r\n1=C:\\B\\SauveKVX.zip\r\n");
  TEnregistrer form(host_, burning_);
  session_.SetDriver([&](ui::Form&) {
    form.ComboBox1.UserType(WorkPath("TAPE\\SauveKVX.zip"));
    form.BitBtn5Click();  // the typed target reaches ComboBox2...
    EXPECT_EQ(form.ComboBox2.Count(), 3);
    form.PageControl1.SetActivePage(form.TabSheet3);  // ...which the options tab replaces
    EXPECT_EQ(form.ComboBox2.Items(), (Items{"A:\\SauveKVX.zip", "C:\\B\\SauveKVX.zip"}));
    EXPECT_EQ(form.ComboBox2.Text(), WorkPath("TAPE\\SauveKVX.zip"));

    session_.Dialogs().AnswerYes();
    ui::Press(form.BitBtn10);  // nothing selected: nothing erased
    EXPECT_EQ(form.ComboBox2.Count(), 2);
    form.ComboBox2.UserSelect(0);
    session_.Dialogs().AnswerNo();
    ui::Press(form.BitBtn10);
    EXPECT_EQ(form.ComboBox2.Count(), 2);
    session_.Dialogs().AnswerYes();
    ui::Press(form.BitBtn10);
    EXPECT_EQ(form.ComboBox2.Items(), Items{"C:\\B\\SauveKVX.zip"});
    ui::Press(form.BitBtn14);
  });
  form.ShowModal();
  EXPECT_EQ(session_.Dialogs().Transcript(),
            (Items{"CONFIRM      Etes-vous sûr de vouloir éffacer " + WorkPath("TAPE\\SauveKVX.zip") + " de la liste ?     ",
                   "CONFIRM      Etes-vous sûr de vouloir éffacer A:\\SauveKVX.zip de la liste ?     ",
                   "CONFIRM      Etes-vous sûr de vouloir éffacer A:\\SauveKVX.zip de la liste ?     "}));
  EXPECT_EQ(ReadINIString("SauvegardeKVX.ini", "Repertoire", "No", ""), "1");
  EXPECT_EQ(ReadINIString("SauvegardeKVX.ini", "Repertoire", "0", ""), "C:\\B\\SauveKVX.zip");
}

TEST_F(RestoreTab, ClearingTheWholeListAndChoosingTheSearchFolder) {
  TEnregistrer form(host_, burning_);
  session_.Dialogs().AnswerNo();
  form.BitBtn11Click();
  EXPECT_EQ(form.ComboBox2.Count(), 1);
  session_.Dialogs().AnswerYes();
  form.BitBtn11Click();
  EXPECT_EQ(form.ComboBox2.Count(), 0);
  EXPECT_EQ(form.Edit2.Text(), "C:\\");
  session_.Dialogs().AnswerFolder("D:\\ARCHIVES");
  form.BitBtn12Click();
  EXPECT_EQ(form.Edit2.Text(), "D:\\ARCHIVES");
  session_.Dialogs().CancelFolder();
  form.BitBtn12Click();
  EXPECT_EQ(form.Edit2.Text(), "C:\\");
  EXPECT_TRUE(InOrder(session_.Dialogs().Transcript(),
                      {"CONFIRM      Etes-vous sûr de vouloir éffacer la liste ?     ", "BROWSE Rechercher dans|C:\\",
                       "BROWSE Rechercher dans|C:\\"}));
}

class SearchTab : public WizardTest {
 protected:
  void Touch(const std::string& relative) {
    const std::filesystem::path path = NativePath(WorkPath("DISQUE\\" + relative));
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "zip";
  }
};

TEST_F(SearchTab, ASearchListsBackupsOutsideRecycleBins) {
  Touch("SauveKVX.zip");
  Touch("A\\B\\SauveKVX.zip");
  Touch("RECYCLED\\SauveKVX.zip");
  Touch("Recycled\\C\\SauveKVX.zip");
  Touch("D\\recycled\\SauveKVX.zip");
  TEnregistrer form(host_, burning_);
  form.ListBox2.AddItem("from an earlier search");
  form.Edit2.SetText(WorkPath("DISQUE"));
  form.BitBtn13Click();
  EXPECT_TRUE(form.ListBox2.Items().empty());
  EXPECT_EQ(form.BitBtn13.Caption(), "Annuler");
  ASSERT_TRUE(ui::PumpUntil([&] { return !form.Searching(); }, 30s));
  EXPECT_EQ(form.BitBtn13.Caption(), "Rechercher");
  EXPECT_EQ(form.Label12.Caption(), "...");
  EXPECT_EQ(form.ListBox2.Items(), (Items{SystemSeparators(WorkPath("DISQUE\\SauveKVX.zip")),
                                          SystemSeparators(WorkPath("DISQUE\\A\\B\\SauveKVX.zip"))}));
}

TEST_F(SearchTab, ACancelledSearchGivesWayToTheNextOne) {
  for (int a = 0; a < 20; ++a)
    for (int b = 0; b < 20; ++b) Touch("T" + std::to_string(a) + "\\U" + std::to_string(b) + "\\SauveKVX.zip");
  TEnregistrer form(host_, burning_);
  form.Edit2.SetText(WorkPath("DISQUE"));
  form.BitBtn13Click();
  form.BitBtn13Click();  // "Annuler"
  EXPECT_EQ(form.BitBtn13.Caption(), "Rechercher");
  form.BitBtn13Click();  // a new search at once: the stopped one ends first
  ASSERT_TRUE(ui::PumpUntil([&] { return !form.Searching(); }, 60s));
  EXPECT_EQ(form.ListBox2.Count(), 400);  // one whole result, nothing left over from the first search
  EXPECT_EQ(form.BitBtn13.Caption(), "Rechercher");
}

TEST_F(SearchTab, ASearchWithoutAFolderAsksForOne) {
  TEnregistrer form(host_, burning_);
  form.Edit2.SetText("");
  form.BitBtn13Click();
  EXPECT_FALSE(form.Searching());
  EXPECT_EQ(session_.Dialogs().Transcript(), Items{"INFO Aucun chemin de recherche spécifié !"});
}

TEST_F(SearchTab, ClosingTheFormStopsARunningSearch) {
  constexpr int kFolders = 30;
  for (int a = 0; a < kFolders; ++a) Touch("T" + std::to_string(a) + "\\SauveKVX.zip");
  // The search's first post into the empty queue calls the wake-up on the search thread:
  // holding it there lets the form close while the search is inside its first folder.
  std::promise<void> firstPost;
  std::atomic<bool> held{false};
  ui::SetWakeUp([&] {
    if (held.exchange(true)) return;
    firstPost.set_value();
    std::this_thread::sleep_for(200ms);
  });
  struct WakeUpRemoved {
    ~WakeUpRemoved() { ui::SetWakeUp(nullptr); }
  } wakeUpRemoved;
  {
    TEnregistrer form(host_, burning_);
    form.Edit2.SetText(WorkPath("DISQUE"));
    ui::RunPostedTasks();
    form.BitBtn13Click();
    ASSERT_EQ(firstPost.get_future().wait_for(30s), std::future_status::ready);
  }
  // What the search posted for the form is dropped with it. A stopped search posted its
  // first folder, that folder's backup and its end; a whole one posts two per folder.
  EXPECT_LE(ui::RunPostedTasks(), 3u);
  EXPECT_FALSE(ui::WaitForPostedTasks(100ms));
}

using MenuActions = WizardTest;

TEST_F(MenuActions, EachActionOpensItsPage) {
  std::vector<int> pages;
  session_.SetDriver([&](ui::Form& shown) {
    auto& wizard = dynamic_cast<TEnregistrer&>(shown);
    pages.push_back(wizard.PageControl1.ActivePageIndex());
    EXPECT_TRUE(wizard.StayOnTop());
    EXPECT_EQ(wizard.Bounds().width, 799);
    EXPECT_EQ(wizard.Bounds().height, 465);
  });
  OpenBackupWizard(host_, burning_);
  OpenRestoreWizard(host_, burning_);
  EXPECT_EQ(pages, (std::vector<int>{0, 1}));
}

TEST_F(MenuActions, NoRestoreWhileVolmeraRuns) {
  ASSERT_TRUE(Launch(AppPath("VOLMERA.EXE"), "/STAY", false));
  for (int wait = 0; wait < 200 && CountProcesses("VOLMERA.EXE") == 0; ++wait)
    std::this_thread::sleep_for(50ms);
  bool shown = false;
  session_.SetDriver([&](ui::Form&) { shown = true; });
  OpenRestoreWizard(host_, burning_);
  KillProcesses("VOLMERA.EXE", true);
  EXPECT_FALSE(shown);
  EXPECT_TRUE(Contains(HostTranscript(), "CMD Info,Impossible de restaurer la base de données si Volmera est ouvert"));
}

}  // namespace
}  // namespace kvx
