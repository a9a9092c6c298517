// The journal a restore leaves when it is stopped: read strictly and checked against the
// folders a restore touches before the next start acts on it, and a recovery that a
// stop at any of its steps, or of the restore's own undo, leaves for the next start to end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "archive/folder_switch.h"
#include "archive/restore_journal.h"
#include "base/cp1252.h"
#include "base/file_search.h"
#include "base/tree_removal.h"
#include "tests/support/test_files.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;  // relative path -> content ("/" for a folder)

const Tree kData = {{"CLIENTS.FIC", "old clients"},  {"IMAGES", "/"},
                    {"IMAGES/LOGO.BMP", "old logo"}, {"NOTES.TXT", "kept"},
                    {"PARAM.DTA", "old param"},      {"VIDE", "/"}};
const Tree kIncoming = {{"CLIENTS.FIC", "new clients"},
                        {"IMAGES", "/"},
                        {"IMAGES/LOGO.BMP", "new logo"},
                        {"IMAGES/NEW.BMP", "added"},
                        {"PARAM.DTA", "new param"},
                        {"VIDE", "a file now"},
                        {"ZZ", "/"},
                        {"ZZ/LAST.FIC", "last"}};
const Tree kOutside = {{"KVXR0001.$$$", "/"},
                       {"KVXR0001.$$$/KEEP.TXT", "not the restore's"},
                       {"26010101.ZIP", "not a safety copy"},
                       {"PARAM.DTA", "other parameters"},
                       {"FILE.TXT", "other"}};

void Make(const fs::path& root, const Tree& tree) {
  fs::create_directories(root);
  for (const auto& [name, content] : tree) {
    if (content == "/")
      fs::create_directories(root / name);
    else
      test::WriteWholeFileAndFolders(root / name, content);
  }
}

// A path as the journal writes the restore's folders: Windows-1252, "\" at a folder's end.
std::string Text(const fs::path& path) { return UTF16ToCP1252(path.u16string()); }
std::string Folder(const fs::path& path) { return Text(path) + "\\"; }
std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

// An installation APP (program folder OUTILS, data folder FIC01, TRAMES) and a folder
// OTHER beside it that no restore of APP may touch.
class RestoreJournalTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kvx-journal-" + std::to_string(getpid()));
    app_ = root_ / "APP";
    data_ = app_ / "FIC01";
    RemoveTreeNoFollow(root_, ignored_);  // read-only entries a failed run left included
    Make(app_ / "OUTILS", {});
    Make(app_ / "TRAMES", {{"FACTURE.TRM", "facture"}});
    Make(data_, kData);
    Make(root_ / "OTHER", kOutside);
  }
  void TearDown() override { RemoveTreeNoFollow(root_, ignored_); }

  std::string Program() const { return Folder(app_ / "OUTILS"); }
  std::string Journal() const { return JournalPath(Program()); }
  fs::path Work() const { return data_ / "KVXR0001.$$$"; }
  // As the restore names it: the data folder's text and the name.
  std::string WorkText() const { return Folder(data_) + "KVXR0001.$$$\\"; }

  // The journal Begin writes for a restore of FIC01 with a safety copy, and a plan.
  RestoreRecord Record() const {
    RestoreRecord record;
    record.dataFolder = Folder(data_);
    record.workFolder = WorkText();
    record.copyWork = Folder(app_) + "KVXR0001.$$$\\";
    record.safetyCopy = Folder(data_) + "26010101.ZIP";
    return record;
  }

  // The incoming tree prepared in the work folder and the switch planned and journaled.
  std::vector<Rename> Prepare(RestoreJournal& journal) {
    Make(Work() / "NEW", kIncoming);
    test::WriteWholeFile(data_ / "26010101.ZIP", "safety copy");
    EXPECT_TRUE(journal.Begin(Record()));
    const std::vector<Rename> plan = PlanSwitch(Work() / "NEW", data_, Work() / "OLD");
    EXPECT_TRUE(journal.Plan(plan));
    return plan;
  }

  void ExpectPutBack() {
    EXPECT_EQ(test::ReadTree(data_), kData);
    EXPECT_FALSE(fs::exists(NativePath(Journal())));
  }

  fs::path root_;
  fs::path app_;
  fs::path data_;
  std::string ignored_;
};

// Every field a recovery would act on, wrong in one way: the journal is set aside
// byte for byte, nothing else changes, and the person is told where it went.
TEST_F(RestoreJournalTest, AJournalThatIsNotValidIsSetAsideAndNothingIsTouched) {
  const std::string data = Folder(data_), work = WorkText(), other = Text(root_ / "OTHER");
  const std::string header =
      "KVXRESTORE 1\r\nDATA\t" + data + "\r\nWORK\t" + work + "\r\nCOPYWORK\t\r\nCOPY\t\r\nPARAM\t\t\r\n";
  const auto with = [&](const std::string& key, const std::string& value) {
    std::string text = header;
    const std::size_t at = text.find("\r\n" + key + "\t") + 3 + key.size();
    return text.replace(at, text.find("\r\n", at) - at, value);
  };
  const std::string rename =
      "RENAME\t" + Utf8(data_ / "CLIENTS.FIC") + "\t" + Utf8(Work() / "OLD" / "CLIENTS.FIC") + "\r\n";
  const std::string planned = header + rename + "SWITCH\r\n";
  const std::string intoOther = "RENAME\t" + Utf8(Work() / "NEW" / "FILE.TXT") + "\t";
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty index", planned + "DONE\t\r\n"},
      {"index not a number", planned + "DONE\tx\r\n"},
      {"negative index", planned + "DONE\t-1\r\n"},
      {"index past the plan", planned + "DONE\t1\r\n"},
      {"index with a sign", planned + "UNDONE\t+0\r\n"},
      {"done before the plan ends", header + rename + "DONE\t0\r\nSWITCH\r\n"},
      {"work folder elsewhere", with("WORK", other + "\\KVXR0001.$$$\\")},
      {"work folder not a work folder", with("WORK", data + "IMAGES\\")},
      {"work folder with a control character",
       with("WORK", data.substr(0, data.size() - 1) + std::string(1, '\0') + "\\KVXR0001.$$$\\")},
      {"safety copy elsewhere", with("COPY", other + "\\26010101.ZIP")},
      {"safety copy not a safety copy", with("COPY", data + "CLIENTS.FIC")},
      {"copy work folder elsewhere", with("COPYWORK", other + "\\KVXR0001.$$$\\")},
      {"parameters elsewhere", with("PARAM", other + "\\PARAM.DTA\t" + work + "PARAM.DTA")},
      {"parameters kept elsewhere", with("PARAM", Text(app_ / "FIC01" / "PARAM.DTA") + "\t" + other + "\\PARAM.DTA")},
      {"data folder relative", with("DATA", "FIC01\\")},
      {"data folder a root", with("DATA", Text(data_.root_path()))},
      {"rename out of the data folder", header + intoOther + Utf8(root_ / "OTHER" / "FILE.TXT") + "\r\nSWITCH\r\n"},
      {"rename out through ..",
       header + intoOther + Utf8(data_ / ".." / ".." / "OTHER" / "FILE.TXT") + "\r\nSWITCH\r\n"},
      {"rename of the data folder", header + "RENAME\t" + Utf8(Work() / "NEW") + "\t" + Utf8(data_) + "\r\nSWITCH\r\n"},
      {"rename into the installation", header + intoOther + Utf8(app_ / "OUTILS" / "FILE.TXT") + "\r\nSWITCH\r\n"},
      {"unknown record", planned + "UNDO ALL\r\n"},
      {"record twice", planned + "SWITCHED\r\nSWITCHED\r\n"},
      {"another version", "KVXRESTORE 2\r\n" + header.substr(14)},
      {"header cut short", header.substr(0, header.find("WORK"))},
  };
  const Tree outside = test::ReadTree(root_ / "OTHER"), dataBefore = test::ReadTree(data_);
  for (const auto& [what, text] : cases) {
    SCOPED_TRACE(what);
    test::WriteWholeFile(NativePath(Journal()), text);
    const RecoveryReport report = RecoverInterruptedRestore(Program());
    EXPECT_TRUE(report.found);
    EXPECT_TRUE(report.failed);
    EXPECT_NE(report.message.find("Le journal de restauration " + Journal() + " n'est pas valable ("),
              std::string::npos)
        << report.message;
    EXPECT_NE(report.message.find("mis de côté sous " + Journal() + ".1.bad"), std::string::npos) << report.message;
    EXPECT_EQ(test::ReadWholeFile(NativePath(Journal() + ".1.bad")), text);
    EXPECT_FALSE(fs::exists(NativePath(Journal())));
    EXPECT_EQ(test::ReadTree(root_ / "OTHER"), outside);
    EXPECT_EQ(test::ReadTree(data_), dataBefore);
    fs::remove(NativePath(Journal() + ".1.bad"));
  }
  // The same records, valid, are acted on: a plan never started needs nothing undone.
  test::WriteWholeFile(NativePath(Journal()), planned + "DONE\t0\r\nDONE\t");
  EXPECT_FALSE(RecoverInterruptedRestore(Program()).failed);
  ExpectPutBack();
}

// An undo cut short (by a power cut, or a first recovery stopped) before it was journaled:
// the renames found undone are skipped and the rest undone, whatever the point.
TEST_F(RestoreJournalTest, ASwitchPartlyUndoneIsUndoneByTheNextStart) {
  for (std::size_t undone = 0;; ++undone) {
    SCOPED_TRACE(undone);
    fs::remove_all(data_);
    Make(data_, kData);
    RestoreJournal journal(Journal());
    const std::vector<Rename> plan = Prepare(journal);
    ASSERT_EQ(RunSwitch(plan, RenameEntry, [&](std::size_t index) { journal.RenameDone(index); }),
              SwitchOutcome::Switched);
    ASSERT_TRUE(UndoSwitch({plan.end() - static_cast<std::ptrdiff_t>(undone), plan.end()}));
    const RecoveryReport report = RecoverInterruptedRestore(Program());
    EXPECT_FALSE(report.failed) << report.message;
    ExpectPutBack();
    EXPECT_FALSE(fs::exists(Work()));
    if (undone == plan.size()) break;
  }
}

// A recovery stopped after each of its steps in turn, then the next start: the data
// folder ends as before the restore. Before the switch's end that is the data as it was;
// after it, the restored data without the work folder.
TEST_F(RestoreJournalTest, ARecoveryStoppedAfterAnyStepIsEndedByTheNextStart) {
  enum class Stop { InThePlan, InTheSwitch, AfterTheSwitch };
  for (const Stop stop : {Stop::InThePlan, Stop::InTheSwitch, Stop::AfterTheSwitch}) {
    const bool switched = stop == Stop::AfterTheSwitch;
    int stopAt = 1;
    for (;; ++stopAt) {
      SCOPED_TRACE(testing::Message() << static_cast<int>(stop) << ", step " << stopAt);
      fs::remove_all(data_);
      fs::remove_all(Work());
      Make(data_, kData);
      RestoreJournal journal(Journal());
      if (stop == Stop::InThePlan) {  // the restore stopped while it wrote the plan: nothing renamed
        Make(Work() / "NEW", kIncoming);
        ASSERT_TRUE(journal.Begin(Record()));
        std::ofstream(NativePath(Journal()), std::ios::binary | std::ios::app)
            << "RENAME\t" << Utf8(data_ / "CLIENTS.FIC") << "\t" << Utf8(Work() / "OLD" / "CLIENTS.FIC") << "\r\nRENA";
      } else {
        const std::vector<Rename> plan = Prepare(journal);
        RunSwitch(plan, RenameEntry, [&](std::size_t index) { journal.RenameDone(index); });
        if (switched) journal.Switched();
      }
      Tree restored = test::ReadTree(data_);
      std::erase_if(restored, [](const auto& entry) { return entry.first.starts_with("KVXR0001.$$$"); });
      int steps = 0;
      const RecoveryReport stopped = RecoverInterruptedRestore(Program(), [&] { return ++steps != stopAt; });
      if (steps < stopAt) {  // the recovery ended before that step
        EXPECT_FALSE(stopped.failed) << stopped.message;
        break;
      }
      EXPECT_TRUE(stopped.failed);
      ASSERT_TRUE(fs::exists(NativePath(Journal()))) << "the journal stays until the recovery ends";
      const RecoveryReport report = RecoverInterruptedRestore(Program());
      EXPECT_FALSE(report.failed) << report.message;
      EXPECT_EQ(test::ReadTree(data_), switched ? restored : kData);
      EXPECT_FALSE(fs::exists(Work()));
      EXPECT_FALSE(fs::exists(NativePath(Journal())));
    }
    std::printf("recovery steps stopped after (%s): %d\n",
                stop == Stop::InThePlan ? "plan cut short"
                : switched              ? "switch ended"
                                        : "switch not ended",
                stopAt - 1);
    EXPECT_GE(stopAt - 1, switched ? 2 : 4);
  }
}

// The restore's own undo of a switch that fails at any rename, stopped after any of its
// renames (as a power cut would): the journal says which went back, and the next start
// undoes the rest.
TEST_F(RestoreJournalTest, AnUndoStoppedAfterAnyRenameIsEndedByTheNextStart) {
  struct PowerCut {};
  Make(Work() / "NEW", kIncoming);
  const std::size_t renames = PlanSwitch(Work() / "NEW", data_, Work() / "OLD").size();
  int runs = 0;
  for (std::size_t failing = 3; failing <= renames; ++failing) {
    for (std::size_t undoStop = 1; undoStop + 1 < failing; ++undoStop, ++runs) {
      SCOPED_TRACE(testing::Message() << "rename " << failing << " fails, undo stopped after " << undoStop);
      fs::remove_all(data_);
      fs::remove_all(Work());
      Make(data_, kData);
      RestoreJournal journal(Journal());
      const std::vector<Rename> plan = Prepare(journal);
      std::size_t calls = 0;
      const RenameStep cut = [&](const fs::path& from, const fs::path& to) {
        if (++calls == failing) return false;
        if (calls == failing + undoStop + 1) throw PowerCut{};
        return RenameEntry(from, to);
      };
      EXPECT_THROW(RunSwitch(
                       plan, cut, [&](std::size_t index) { journal.RenameDone(index); },
                       [&](std::size_t index) { journal.RenameUndone(index); }),
                   PowerCut);
      const RecoveryReport report = RecoverInterruptedRestore(Program());
      EXPECT_FALSE(report.failed) << report.message;
      ExpectPutBack();
    }
  }
  std::printf("switch renames: %zu; undo stopped after each of its renames: %d runs\n", renames, runs);
  EXPECT_GE(runs, 28);
}

// The clean-up after the switch: a read-only entry and a folder link in the work folder
// go, and what the link names outside stays.
TEST_F(RestoreJournalTest, TheCleanUpRemovesReadOnlyEntriesAndLinksWithoutFollowingThem) {
  RestoreJournal journal(Journal());
  const std::vector<Rename> plan = Prepare(journal);
  ASSERT_EQ(RunSwitch(plan, RenameEntry, [&](std::size_t index) { journal.RenameDone(index); }),
            SwitchOutcome::Switched);
  ASSERT_TRUE(journal.Switched());
  fs::permissions(Work() / "OLD" / "CLIENTS.FIC", fs::perms::owner_write, fs::perm_options::remove);
  std::error_code linkError;
  fs::create_directory_symlink(root_ / "OTHER", Work() / "OLD" / "LIEN", linkError);
  if (linkError) std::printf("no folder links here (%s): the read-only entry only\n", linkError.message().c_str());
  const Tree outside = test::ReadTree(root_ / "OTHER");
  const RecoveryReport report = RecoverInterruptedRestore(Program());
  EXPECT_FALSE(report.failed) << report.message;
  EXPECT_FALSE(fs::exists(fs::symlink_status(Work())));
  EXPECT_EQ(test::ReadTree(root_ / "OTHER"), outside);
  EXPECT_FALSE(fs::exists(NativePath(Journal())));
}

// A recovery that cannot end keeps its journal, and a backup or restore of that data
// folder hears of it (another folder's does not).
TEST_F(RestoreJournalTest, ARecoveryThatCannotEndIsPendingForItsDataFolderOnly) {
  RestoreJournal journal(Journal());
  const std::vector<Rename> plan = Prepare(journal);
  ASSERT_EQ(RunSwitch(plan, RenameEntry, [&](std::size_t index) { journal.RenameDone(index); }),
            SwitchOutcome::Switched);
  fs::remove(data_ / "CLIENTS.FIC");  // a rename made, its target gone since
  fs::remove(Work() / "OLD" / "CLIENTS.FIC");
  std::string message;
  const RecoveryReport report = RecoverInterruptedRestore(Program());
  EXPECT_TRUE(report.failed);
  EXPECT_NE(report.message.find("n'a pas pu être défaite"), std::string::npos) << report.message;
  ASSERT_TRUE(fs::exists(NativePath(Journal())));
  EXPECT_TRUE(RecoveryPending(Program(), Folder(data_), message));
  EXPECT_NE(message.find("(journal " + Journal() + ")"), std::string::npos) << message;
  EXPECT_FALSE(RecoveryPending(Program(), Text(root_ / "OTHER") + "\\", message));
  fs::remove(NativePath(Journal()));
  EXPECT_FALSE(RecoveryPending(Program(), Folder(data_), message));
}

}  // namespace
}  // namespace kvx
