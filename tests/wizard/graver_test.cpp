// The burn wizard headless, a driver playing the user, against virtual recorders reached
// in-process on a manual clock: its log lines, the commands its buttons send, the disc
// it burns, and the hand-over of the writer and blanking threads' events.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/local_time.h"
#include "wizard/graver.h"
#include "scsi/big_endian.h"
#include "tests/burner/burner_rig.h"
#include "ui/headless.h"

namespace kvx::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Holds the worker threads (never the GUI thread) at the Nth command block with a
// given opcode, until the test lets them go on.
class Gate {
 public:
  explicit Gate(std::thread::id gui) : gui_(gui) {}

  // Holds at the skip+1st command with this opcode from now on.
  void HoldAt(uint8_t opcode, int skip = 0) {
    std::lock_guard<std::mutex> hold(lock_);
    armed_ = true;
    opcode_ = opcode;
    skip_ = skip;
  }
  void Check(const uint8_t* cdb) {
    if (std::this_thread::get_id() == gui_) return;
    std::unique_lock<std::mutex> hold(lock_);
    if (!armed_ || cdb[0] != opcode_ || skip_-- > 0) return;
    held_ = true;
    changed_.notify_all();
    changed_.wait(hold, [&] { return !held_; });
  }
  bool WaitHeld() {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, 60s, [&] { return held_; });
  }
  void Release() {
    std::lock_guard<std::mutex> hold(lock_);
    held_ = false;
    changed_.notify_all();
  }
  // Holds nothing any more.
  void Open() {
    std::lock_guard<std::mutex> hold(lock_);
    armed_ = false;
    held_ = false;
    changed_.notify_all();
  }

 private:
  const std::thread::id gui_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool armed_ = false;
  uint8_t opcode_ = 0;
  int skip_ = 0;
  bool held_ = false;
};

// The system time format as the posix build and wine's default locale write it.
bool IsTime(const std::string& text) {
  static const std::regex time("[0-9]{1,2}:[0-9]{2}:[0-9]{2}( ?[AP]M)?");
  return std::regex_match(text, time);
}

#ifndef _WIN32
// What a command writes to its standard output.
std::string Output(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    pclose(pipe);
  }
  return output;
}
#endif

::testing::AssertionResult Timed(const std::string& line, const std::string& text) {
  if (line.compare(0, text.size(), text) == 0 && IsTime(line.substr(text.size())))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << line << "\" is not \"" << text << "\" + time";
}

class GraverTest : public ::testing::Test, protected RecorderRig {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder = fs::temp_directory_path() / (std::string("kvx_graver_") + test->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    archive = (folder / "SauveTBQ.zip").string();
    archiveBytes.resize(300000);
    for (size_t i = 0; i < archiveBytes.size(); ++i) archiveBytes[i] = static_cast<char>(i * 7 + i / 4096);
    std::ofstream(archive, std::ios::binary) << archiveBytes;
  }

  void TearDown() override {
    gate.Open();
    form.reset();
    ui::RunPostedTasks();  // anything still posted for the form is dropped
    engine.reset();
    StopRecorders();
    fs::remove_all(folder);
  }

  // Starts virtual recorders from [UnitN] sections (the image of unit N in the test
  // folder) and creates the form over them.
  void Start(const std::vector<std::string>& units) {
    std::string configuration;
    for (size_t n = 0; n < units.size(); ++n)
      configuration += "[Unit" + std::to_string(n) + "]\nImage=" + ImagePath(n) + "\n" + units[n] + "\n";
    ASSERT_TRUE(StartRecorders((folder / "kvxaspi.ini").string(), configuration));
    platform->SetHook([this](const uint8_t* cdb) { gate.Check(cdb); });
    CreateForm(install->Hub());
  }

  // The form over an engine of its own on the transport given.
  void CreateForm(scsi::SCSITransportHub& transport) {
    form.reset();
    engine = std::make_unique<BurnEngine>(transport);
    form = std::make_unique<TGraver>(*engine, archive);
    form->vtbr.SetSleepFunction([this](uint32_t ms) { clock.Advance(ms); });
  }

  // Shows the form modally with the driver playing the user.
  void Show(std::function<void(TGraver&)> play) {
    session.SetDriver([&](ui::Form&) { play(*form); });
    form->ShowModal();
  }

  // Runs posted tasks until the log has a line starting with text.
  bool PumpUntilLogged(const std::string& text) {
    return Until([&] { return LineStarting(text) >= 0; });
  }
  int LineStarting(const std::string& text) const {
    const auto& lines = form->Memo1.Lines();
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].compare(0, text.size(), text) == 0) return static_cast<int>(i);
    return -1;
  }
  // Runs posted tasks until done holds, looking again at least every 10 ms (it may
  // change without a task).
  static bool Until(const std::function<bool()>& done) {
    for (int slice = 0; slice < 6000; ++slice)
      if (ui::PumpUntil(done, 10ms)) return true;
    return false;
  }
  bool BurnDone() { return Until([&] { return form->BBurn.Enabled() && !form->vtbr.Writing(); }); }

  // A long blank of the shown form's CD-RW, held at a poll of its thread.
  void StartHeldBlank() {
    Start({"Media=CD-RW\nState=appendable\nFast=1\nBlankTime=4500000"});
    form->Show();
    ASSERT_TRUE(ui::Press(form->Button3));
    gate.HoldAt(0x51);  // a poll of the blanking thread
    ASSERT_TRUE(ui::Press(form->Button1));
    ASSERT_TRUE(gate.WaitHeld());
  }

  std::string ImagePath(size_t unit = 0) const { return (folder / ("disc" + std::to_string(unit) + ".img")).string(); }
  std::string ImageBytes(uint64_t offset, uint64_t size) const {
    std::ifstream in(ImagePath(), std::ios::binary);
    std::string data(size, '\0');
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(data.data(), static_cast<std::streamsize>(size));
    data.resize(static_cast<size_t>(in.gcount()));
    return data;
  }
  // The command blocks of one opcode sent so far, with the thread that sent each.
  std::vector<SentCommand> SentWith(uint8_t opcode) const {
    std::vector<SentCommand> found;
    for (const SentCommand& command : platform->Sent())
      if (command.Cdb[0] == opcode) found.push_back(command);
    return found;
  }

  ui::HeadlessSession session;
  Gate gate{std::this_thread::get_id()};
  fs::path folder;
  std::string archive;
  std::string archiveBytes;
  std::unique_ptr<BurnEngine> engine;
  std::unique_ptr<TGraver> form;
};

constexpr char kBlankCDR[] = "Media=CD-R\nFast=1";

TEST_F(GraverTest, LaidOutAsDesigned) {
  Start({kBlankCDR});
  TGraver& f = *form;
  EXPECT_EQ(f.Caption(), "Graver");
  EXPECT_EQ(f.Bounds().width, 800);
  EXPECT_EQ(f.Bounds().height, 305);
  EXPECT_EQ(f.GetBorderStyle(), ui::BorderStyle::Single);
  EXPECT_TRUE(f.CentredOnDesktop());
  EXPECT_EQ(f.GetFont().face, "MS Sans Serif");
  EXPECT_EQ(f.GetFont().height, 13);
  EXPECT_TRUE(f.GetFont().bold);
  EXPECT_EQ(f.Image1.Bounds().width, 145);
  EXPECT_EQ(f.Label7.Caption(), "Assistant gravage");
  EXPECT_EQ(f.Label7.GetFont().height, 24);
  EXPECT_TRUE(f.Label7.GetFont().bold);
  EXPECT_EQ(f.Label1.Caption(), "Sélectionner vôtre graveur :");
  EXPECT_EQ(f.Memo1.Bounds().width, 641);
  EXPECT_TRUE(f.Memo1.VerticalScrollBar());
  EXPECT_EQ(f.GroupBox1.Caption(), "Options");
  EXPECT_FALSE(f.GroupBox1.Visible());
  EXPECT_EQ(f.RadioButton1.Caption(), "Effacement rapide");
  EXPECT_TRUE(f.RadioButton1.Checked());
  EXPECT_EQ(f.RadioButton2.Caption(), "Effacement complet");
  EXPECT_FALSE(f.RadioButton2.Checked());
  EXPECT_EQ(f.Button1.Caption(), "Effacer un CD-RW");
  EXPECT_EQ(f.CheckBox1.Caption(), "Ejecter le CD en fin de gravure");
  EXPECT_FALSE(f.CheckBox1.Checked());
  EXPECT_EQ(f.BBurn.Caption(), "Graver");
  EXPECT_EQ(f.Annuler.Caption(), "Annuler");
  EXPECT_EQ(f.Button3.Caption(), "Option +");
  EXPECT_EQ(f.Button2.Caption(), "Quitter");
  EXPECT_EQ(f.Gauge1.Bounds().width, 649);
  EXPECT_EQ(f.Gauge1.ForeColor(), ui::kRed);
  EXPECT_EQ(f.Gauge1.BackColor(), ui::kButtonFace);
  EXPECT_EQ(f.Timer1.Interval(), 500);
  EXPECT_FALSE(f.Timer1.Enabled());
  EXPECT_EQ(f.Timer2.Interval(), 1000);
  EXPECT_FALSE(f.Timer2.Enabled());
  EXPECT_TRUE(f.vtbr.UnderrunProtection());
  EXPECT_FALSE(f.vtbr.FinalizeDisc());
  EXPECT_FALSE(f.vtbr.TestWrite());
  EXPECT_FALSE(f.vtbr.ReplaceFile());
  EXPECT_FALSE(f.vtbr.PerformOPC());
  EXPECT_EQ(f.vtbr.CacheSize(), 4194304);
  EXPECT_TRUE(f.vtbr.WritePostGap());
  EXPECT_FALSE(f.Finalizing());
  EXPECT_EQ(f.Archive(), archive);
  EXPECT_EQ(TGraver(*engine).Archive(), "c:\\SauveKVX.zip");
}

TEST_F(GraverTest, ShowListsTheUnitsAndSelectsTheFirst) {
  Start({kBlankCDR, "Media=DVD-R\nProduct=SECOND UNIT"});
  Show([&](TGraver& f) {
    EXPECT_EQ(f.cbdrives.Items(), f.vtbr.Devices());
    ASSERT_EQ(f.cbdrives.Count(), 2);
    EXPECT_EQ(f.cbdrives.ItemIndex(), 0);
    EXPECT_EQ(f.vtbr.Device(), f.cbdrives.Items()[0]);
    EXPECT_EQ(f.Memo1.Lines(), std::vector<std::string>{">>> Sélection du lecteur KVX      VIRTUAL RECORDER 1.00"});
    EXPECT_TRUE(f.BBurn.Enabled());
    // The other unit, chosen by the user.
    f.cbdrives.UserSelect(1);
    EXPECT_EQ(f.vtbr.Device(), f.cbdrives.Items()[1]);
    EXPECT_EQ(f.Memo1.Lines().back(), ">>> Sélection du lecteur KVX      SECOND UNIT      1.00");
    EXPECT_TRUE(f.BBurn.Enabled());
    EXPECT_TRUE(ui::Press(f.Button2));
  });
  EXPECT_FALSE(form->Visible());
  // Closing only hid it: a second show starts afresh.
  Show([&](TGraver& f) {
    EXPECT_EQ(f.Memo1.Lines().size(), 1u);
    EXPECT_EQ(f.cbdrives.ItemIndex(), 0);
    EXPECT_TRUE(f.Visible());
    f.Close();
  });
  EXPECT_FALSE(form->Visible());
}

TEST_F(GraverTest, WithoutTransportNothingCanBeBurned) {
  scsi::testing::ScriptedPlatform none(nullptr);
  none.besideProgram = none.inSystemFolder = scsi::TransportPlatform::LibraryLoad::NotFound;
  scsi::testing::TransportInstall installNone(none, false);
  CreateForm(installNone.Hub());
  Show([&](TGraver& f) {
    EXPECT_FALSE(f.BBurn.Enabled());
    EXPECT_EQ(f.cbdrives.Count(), 0);
    ASSERT_EQ(f.Memo1.Lines().size(), 1u);
    EXPECT_TRUE(Timed(f.Memo1.Lines()[0], ">>> Erreur lors de l'initialisation ASPI"));
    EXPECT_TRUE(ui::Press(f.Button2));
  });
  form.reset();
  engine.reset();
}

TEST_F(GraverTest, AUnitThatWritesOnlyDVDPlusMediaCannotBurn) {
  Start({"Media=DVD+R\nDvdPlusOnly=1"});
  Show([&](TGraver& f) {
    EXPECT_EQ(f.cbdrives.Count(), 1);
    EXPECT_FALSE(f.BBurn.Enabled());
    f.Close();
  });
}

TEST_F(GraverTest, BurnsItsArchiveIntoABlankCDR) {
  Start({kBlankCDR});
  Show([&](TGraver& f) {
    f.Memo1.Clear();
    ASSERT_TRUE(ui::Press(f.BBurn));
    // Until the writer reports, the form only shows that it started.
    ASSERT_EQ(f.Memo1.Lines().size(), 3u);
    EXPECT_EQ(f.Memo1.Lines()[0], ">>> Préparation du fichier \"SauveTBQ.zip\"");
    EXPECT_TRUE(Timed(f.Memo1.Lines()[1], ">>> Début du gravage "));
    EXPECT_EQ(f.Memo1.Lines()[2], ">>> Vitesse de gravure X 48");
    EXPECT_EQ(f.Gauge1.MaxValue(), f.vtbr.GetTrackSize());
    EXPECT_TRUE(f.Timer2.Enabled());
    EXPECT_FALSE(f.BBurn.Enabled());
    EXPECT_FALSE(f.Button1.Enabled());
    ASSERT_TRUE(BurnDone());
    ASSERT_EQ(f.Memo1.Lines().size(), 6u);
    EXPECT_TRUE(Timed(f.Memo1.Lines()[3], ">>> Fermeture de la cession ... "));
    EXPECT_TRUE(Timed(f.Memo1.Lines()[4], ">>> Vérification de la gravure ... "));
    EXPECT_TRUE(Timed(f.Memo1.Lines()[5], ">>> Gravage réussi ! "));
    EXPECT_EQ(f.vtbr.BytesVerified(), f.vtbr.GetTrackSize() * 2048) << "the whole track read back";
    EXPECT_FALSE(f.Verifying());
    EXPECT_FALSE(f.Timer2.Enabled());
    EXPECT_EQ(f.Gauge1.Progress(), 0);
    EXPECT_TRUE(f.Button1.Enabled());
    EXPECT_FALSE(f.Finalizing());
    f.Close();
  });
  for (const SentCommand& command : SentWith(0x1B)) EXPECT_NE(command.Cdb[4], 0x02) << "ejected without being asked";

  // The whole track, padded to its size, from the first sector of the blank disc.
  EXPECT_EQ(fs::file_size(ImagePath()), static_cast<uintmax_t>(form->vtbr.GetTrackSize()) * 2048);
  // The archive in the root directory of the primary volume, found through the big-endian
  // halves of the both-byte-order fields (ISO 9660 9.1).
  const std::string pvd = ImageBytes(16 * 2048, 2048);
  ASSERT_EQ(pvd.substr(0, 6), "\x01" "CD001");
  // Named after the backup, created today with the offset from GMT in effect.
  const ZonedTime now = LocalNow();
  EXPECT_EQ(pvd.substr(40, 32), "KVXSAUVE" + std::string(24, ' '));
  EXPECT_EQ(pvd.substr(813, 4), std::to_string(now.Local.Year));
  EXPECT_EQ(pvd.substr(830, 4), std::to_string(now.Local.Year));
  EXPECT_EQ(static_cast<int8_t>(pvd[829]), now.GmtOffsetMinutes / 15);
  const auto u8 = [](const std::string& s, size_t at) { return reinterpret_cast<const uint8_t*>(s.data() + at); };
  const std::string root = ImageBytes(uint64_t{scsi::BigEndian32(u8(pvd, 156 + 6))} * 2048, 2048);
  bool found = false;
  for (size_t at = 0; at < root.size() && root[at] != 0; at += static_cast<uint8_t>(root[at])) {
    if (root.substr(at + 33, static_cast<uint8_t>(root[at + 32])) != "SAUVETBQ.ZIP;1") continue;
    found = true;
    const std::string file = ImageBytes(uint64_t{scsi::BigEndian32(u8(root, at + 6))} * 2048,
                                        scsi::BigEndian32(u8(root, at + 14)));
    EXPECT_TRUE(SameBytes(file, archiveBytes));
  }
  EXPECT_TRUE(found);
#ifndef _WIN32
  // As isoinfo reads the disc: the file, and its name in the Joliet tree.
  EXPECT_TRUE(SameBytes(Output("isoinfo -i '" + ImagePath() + "' -x '/SAUVETBQ.ZIP;1'"), archiveBytes));
  EXPECT_NE(Output("isoinfo -J -l -i '" + ImagePath() + "'").find(" SauveTBQ.zip;1"), std::string::npos);
#endif
}

TEST_F(GraverTest, ProgressFollowsTheWriterMovesWhileFinalizingThenFollowsTheReadBack) {
  Start({kBlankCDR});
  gate.HoldAt(0x2A, 2);
  Show([&](TGraver& f) {
    ASSERT_TRUE(ui::Press(f.BBurn));
    ASSERT_TRUE(gate.WaitHeld());  // at the third block of 31 sectors
    f.Timer2.Tick();
    EXPECT_EQ(f.Gauge1.Progress(), 93);
    EXPECT_EQ(f.Gauge1.Progress(), f.vtbr.BytesWritten() / 2048);
    gate.HoldAt(0x35);  // the flush after OnFinalizingTrack
    gate.Release();
    ASSERT_TRUE(gate.WaitHeld());
    ASSERT_TRUE(Until([&] { return f.Finalizing(); }));
    EXPECT_TRUE(Timed(f.Memo1.Lines().back(), ">>> Fermeture de la cession ... "));
    // A moving indicator: one step a tick from where it was, back to 0 after 99.
    f.Timer2.Tick();
    EXPECT_EQ(f.Gauge1.Progress(), 94);
    for (int i = 0; i < 5; ++i) f.Timer2.Tick();
    EXPECT_EQ(f.Gauge1.Progress(), 99);
    f.Timer2.Tick();
    EXPECT_EQ(f.Gauge1.Progress(), 0);
    f.Timer2.Tick();
    EXPECT_EQ(f.Gauge1.Progress(), 1);
    // The read-back, held at its second block of 31 sectors: the gauge shows the sectors
    // found as written.
    gate.HoldAt(0x28, 1);
    gate.Release();
    ASSERT_TRUE(gate.WaitHeld());
    ASSERT_TRUE(Until([&] { return f.Verifying(); }));
    EXPECT_FALSE(f.Finalizing());
    EXPECT_TRUE(Timed(f.Memo1.Lines().back(), ">>> Vérification de la gravure ... "));
    f.Timer2.Tick();
    EXPECT_EQ(f.Gauge1.Progress(), 31);
    EXPECT_EQ(f.Gauge1.Progress(), f.vtbr.BytesVerified() / 2048);
    gate.Open();
    ASSERT_TRUE(BurnDone());
    EXPECT_TRUE(Timed(f.Memo1.Lines().back(), ">>> Gravage réussi ! "));
    EXPECT_FALSE(f.Finalizing());
    EXPECT_FALSE(f.Verifying());
    f.Close();
  });
}

TEST_F(GraverTest, AFailedWriteIsLoggedAndTheDiscStillEjected) {
  Start({std::string(kBlankCDR) + "\nWriteErrorLba=100"});
  Show([&](TGraver& f) {
    f.CheckBox1.UserClick();
    platform->Clear();
    ASSERT_TRUE(ui::Press(f.BBurn));
    ASSERT_TRUE(BurnDone());
    const auto& lines = f.Memo1.Lines();
    const int failed = LineStarting(">>> Gravage en erreur, ");
    ASSERT_GE(failed, 0);
    EXPECT_TRUE(Timed(lines[failed], ">>> Gravage en erreur, WRITER ERROR [MEDIUM ERROR (WRITE ERROR)]      "));
    EXPECT_EQ(lines.back(), ">>> Cd-Rom ejecté !");
    EXPECT_EQ(failed, static_cast<int>(lines.size()) - 2);
    f.Close();
  });
  // Flush, unlock and eject, on the GUI thread once the writer has reported.
  const std::vector<SentCommand> sent = platform->Sent();
  ASSERT_GE(sent.size(), 3u);
  const std::vector<SentCommand> tail(sent.end() - 3, sent.end());
  EXPECT_EQ(tail[0].Cdb, (std::vector<uint8_t>{0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(tail[1].Cdb, (std::vector<uint8_t>{0x1E, 0, 0, 0, 0x00, 0}));
  EXPECT_EQ(tail[2].Cdb, (std::vector<uint8_t>{0x1B, 0, 0, 0, 0x02, 0}));
  for (const SentCommand& command : tail) EXPECT_EQ(command.Thread, std::this_thread::get_id());
}

TEST_F(GraverTest, EjectAfterSuccessAndATrayThatStaysLocked) {
  Start({kBlankCDR, kBlankCDR});
  Show([&](TGraver& f) {
    f.CheckBox1.UserClick();
    ASSERT_TRUE(ui::Press(f.BBurn));
    ASSERT_TRUE(BurnDone());
    EXPECT_TRUE(Timed(f.Memo1.Lines().end()[-2], ">>> Gravage réussi ! "));
    EXPECT_EQ(f.Memo1.Lines().back(), ">>> Cd-Rom ejecté !");
    // Another program locks the second unit's tray between the unlock and the eject.
    f.cbdrives.UserSelect(1);
    platform->SetHook([this](const uint8_t* cdb) {
      if (cdb[0] != 0x1B) return;
      std::vector<uint8_t> lock = {0x1E, 0, 0, 0, 0x01, 0}, none;
      manager->UnitAt(0, 1, 0)->Execute(lock, none);
    });
    ASSERT_TRUE(ui::Press(f.BBurn));
    ASSERT_TRUE(BurnDone());
    EXPECT_EQ(f.Memo1.Lines().back(), ">>> Le Cd-Rom be peut être ejecté !");
    f.Close();
  });
}

TEST_F(GraverTest, AUnitWithoutDiscIsNotReady) {
  Start({"Media=none"});
  Show([&](TGraver& f) {
    EXPECT_TRUE(f.BBurn.Enabled());
    ASSERT_TRUE(ui::Press(f.BBurn));
    EXPECT_EQ(f.Memo1.Lines().back(), ">>> Le périphérique n'est pas prêt !");
    EXPECT_TRUE(f.BBurn.Enabled());
    EXPECT_FALSE(f.vtbr.Writing());
    f.Close();
  });
  EXPECT_EQ(platform->Count(0x2A), 0u);
}

TEST_F(GraverTest, AMissingArchiveBurnsNothing) {
  Start({kBlankCDR});
  fs::remove(archive);
  Show([&](TGraver& f) {
    ASSERT_TRUE(ui::Press(f.BBurn));
    EXPECT_TRUE(Timed(f.Memo1.Lines().back(), ">>> Gravage en erreur, CAN'T OPEN FILE \"" + archive +
                                                  "\" OR FILE IS IN USES BY OTHER SOFTWARE      "));
    EXPECT_TRUE(f.BBurn.Enabled());
    f.Close();
  });
  EXPECT_EQ(platform->Count(0x2A), 0u);
  EXPECT_EQ(platform->Count(0x5B), 0u);
}

TEST_F(GraverTest, QuickThenCompleteEraseOfACDRW) {
  Start({"Media=CD-RW\nState=appendable\nFast=1\nBlankTime=60000"});
  Show([&](TGraver& f) {
    ASSERT_TRUE(ui::Press(f.Button3));  // the erase controls are among the options
    f.Memo1.Clear();
    gate.HoldAt(0x51);  // each poll of the blanking thread
    ASSERT_TRUE(ui::Press(f.Button1));
    EXPECT_TRUE(Timed(f.Memo1.Lines()[0], ">>> Debut éffacement ! "));
    EXPECT_EQ(f.Memo1.Lines()[1], ">>> Vitesse X 48");
    EXPECT_TRUE(f.Timer1.Enabled());
    EXPECT_TRUE(f.BBurn.Enabled());
    std::vector<int64_t> seen;
    for (int poll = 0; poll < 4; ++poll) {
      ASSERT_TRUE(gate.WaitHeld());
      f.Timer1.Tick();
      seen.push_back(f.Gauge1.Progress());
      gate.Release();
    }
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_LT(seen.front(), seen.back());
    gate.HoldAt(0x1E);  // the unit is put back after the end
    gate.Release();
    ASSERT_TRUE(gate.WaitHeld());
    f.Timer1.Tick();
    EXPECT_EQ(f.Gauge1.Progress(), 100);
    gate.Open();
    ASSERT_TRUE(PumpUntilLogged(">>> Effacement "));
    EXPECT_TRUE(Timed(f.Memo1.Lines().back(), ">>> Effacement réussi ! "));
    EXPECT_FALSE(f.Timer1.Enabled());
    EXPECT_EQ(f.Gauge1.Progress(), 0);
    ASSERT_TRUE(Until([&] { return !f.vtbr.Erasing(); }));

    f.RadioButton2.UserClick();
    EXPECT_FALSE(f.RadioButton1.Checked());
    f.Memo1.Clear();
    ASSERT_TRUE(ui::Press(f.Button1));
    ASSERT_TRUE(PumpUntilLogged(">>> Effacement "));
    EXPECT_TRUE(Timed(f.Memo1.Lines().back(), ">>> Effacement réussi ! "));
    ASSERT_TRUE(Until([&] { return !f.vtbr.Erasing(); }));
    f.Close();
  });
  const std::vector<SentCommand> blanks = SentWith(0xA1);
  ASSERT_EQ(blanks.size(), 2u);
  EXPECT_EQ(blanks[0].Cdb, (std::vector<uint8_t>{0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(blanks[1].Cdb, (std::vector<uint8_t>{0xA1, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(manager->UnitAt(0, 0, 0)->DiscState().DiscStatus(), scsi::DiscState::Blank) << "not blank";
}

// The blanking thread looks at its stop request at least once a second of the unit's
// time: Annuler ends the wait for a long blank, and the blank is told as stopped.
TEST_F(GraverTest, AnnulerStopsALongBlankWithinASecond) {
  Start({"Media=CD-RW\nState=appendable\nFast=1\nBlankTime=4500000"});
  Show([&](TGraver& f) {
    ASSERT_TRUE(ui::Press(f.Button3));
    gate.HoldAt(0x51);  // a poll of the blanking thread
    ASSERT_TRUE(ui::Press(f.Button1));
    ASSERT_TRUE(gate.WaitHeld());
    ASSERT_TRUE(ui::Press(f.Annuler));
    const uint64_t asked = clock.NowMs();
    gate.Open();
    ASSERT_TRUE(PumpUntilLogged(">>> Effacement "));
    EXPECT_LE(clock.NowMs() - asked, 1000u);
    EXPECT_TRUE(Timed(f.Memo1.Lines().back(),
                      ">>> Effacement arrêté ! Le disque reste dans l'état où le lecteur l'a laissé. "));
    for (const std::string& line : f.Memo1.Lines()) EXPECT_EQ(line.find("réussi"), std::string::npos) << line;
    ASSERT_TRUE(Until([&] { return !f.vtbr.Erasing(); }));
    f.Close();
  });
}

// Closing the backup wizard first waits for a running blank with the burn wizard in
// sight, saying so; its Annuler stops the blank, and the form then closes.
TEST_F(GraverTest, ClosingWaitsInSightForABlankThatAnnulerStops) {
  StartHeldBlank();
  if (HasFatalFailure()) return;
  form->Hide();  // "Quitter" while the blank runs
  bool shown = false;
  session.SetDriver([&](ui::Form&) {
    shown = true;
    EXPECT_TRUE(Timed(form->Memo1.Lines().back(), ">>> Fermeture à la fin de l'opération en cours (Annuler l'arrête) "));
    ASSERT_TRUE(ui::Press(form->Annuler));
    gate.Open();
    EXPECT_TRUE(Until([&] { return form->GetModalResult() != ui::ModalResult::None; }))
        << "the form closes once the blank has ended";
  });
  form->ShowUntilIdle();
  EXPECT_TRUE(shown);
  EXPECT_TRUE(Timed(form->Memo1.Lines()[LineStarting(">>> Effacement ")],
                    ">>> Effacement arrêté ! Le disque reste dans l'état où le lecteur l'a laissé. "));
  form.reset();
}

// The burn wizard going while a blank runs stops it within a second of the unit's time,
// not followed to its end.
TEST_F(GraverTest, TheFormGoesWithinASecondWhileABlankRuns) {
  StartHeldBlank();
  if (HasFatalFailure()) return;
  const uint64_t asked = clock.NowMs();
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    gate.Open();
  });
  form.reset();
  opener.join();
  EXPECT_LE(clock.NowMs() - asked, 1000u);
  ui::RunPostedTasks();  // its OnEraseDone, dropped
}

TEST_F(GraverTest, AnEraseThatCannotStartIsReported) {
  Start({kBlankCDR, "Media=none"});
  Show([&](TGraver& f) {
    ASSERT_TRUE(ui::Press(f.Button3));
    // A CD-R refuses BLANK.
    ASSERT_TRUE(ui::Press(f.Button1));
    EXPECT_TRUE(Timed(f.Memo1.Lines().back(),
                      ">>> Effacement réalisé avec erreur ! ILLEGAL REQUEST (INCOMPATIBLE MEDIUM INSTALLED)      "));
    EXPECT_FALSE(f.Timer1.Enabled());
    // A unit without disc never gets that far.
    f.cbdrives.UserSelect(1);
    f.Memo1.Clear();
    ASSERT_TRUE(ui::Press(f.Button1));
    ASSERT_EQ(f.Memo1.Lines().size(), 3u);
    EXPECT_TRUE(Timed(f.Memo1.Lines()[2],
                      ">>> Effacement réalisé avec erreur ! NOT READY (MEDIUM NOT PRESENT - TRAY CLOSED)      "));
    EXPECT_FALSE(f.Timer1.Enabled());
    EXPECT_EQ(f.Gauge1.Progress(), 0);
    f.Close();
  });
  EXPECT_EQ(SentWith(0xA1).size(), 1u);
}

TEST_F(GraverTest, AnnulerStopsTheWrite) {
  Start({kBlankCDR});
  gate.HoldAt(0x2A, 1);
  Show([&](TGraver& f) {
    ASSERT_TRUE(ui::Press(f.BBurn));
    ASSERT_TRUE(gate.WaitHeld());
    ASSERT_TRUE(ui::Press(f.Annuler));
    EXPECT_TRUE(Timed(f.Memo1.Lines().back(), ">>> Enregistrement annulé ! "));
    // The writer still owns the unit until it has stopped.
    EXPECT_FALSE(f.BBurn.Enabled());
    EXPECT_FALSE(f.Button1.Enabled());
    gate.Open();
    ASSERT_TRUE(BurnDone());
    EXPECT_TRUE(Timed(f.Memo1.Lines().back(), ">>> Gravage en erreur, OPERATION ABORTED BY USER      "));
    EXPECT_TRUE(f.Button1.Enabled());
    f.Close();
  });
  EXPECT_LT(platform->Count(0x2A), 5u);
}

TEST_F(GraverTest, QuittingWhileWritingAsksFirst) {
  Start({kBlankCDR});
  ui::ScriptedDialogs& dialogs = session.Dialogs();
  gate.HoldAt(0x2A, 1);
  Show([&](TGraver& f) {
    ASSERT_TRUE(ui::Press(f.BBurn));
    ASSERT_TRUE(gate.WaitHeld());
    dialogs.AnswerNo();
    ASSERT_TRUE(ui::Press(f.Button2));
    EXPECT_EQ(dialogs.Transcript(), std::vector<std::string>{"CONFIRM Etes-vous sûr de vouloir annuler?"});
    EXPECT_EQ(f.GetModalResult(), ui::ModalResult::None);
    gate.Open();
    ASSERT_TRUE(BurnDone());
    EXPECT_TRUE(Timed(f.Memo1.Lines().back(), ">>> Gravage réussi ! "));

    gate.HoldAt(0x2A, 1);
    ASSERT_TRUE(ui::Press(f.BBurn));
    ASSERT_TRUE(gate.WaitHeld());
    dialogs.AnswerYes();
    ASSERT_TRUE(ui::Press(f.Button2));
    EXPECT_TRUE(Timed(f.Memo1.Lines().back(), ">>> Enregistrement annulé ! "));
    EXPECT_EQ(f.GetModalResult(), ui::ModalResult::Cancel);
    gate.Open();
  });
  EXPECT_FALSE(form->Visible());
  EXPECT_TRUE(dialogs.AllAnswered());
  // The write ends after the form has closed; its end is still logged.
  ASSERT_TRUE(BurnDone());
  EXPECT_TRUE(Timed(form->Memo1.Lines().back(), ">>> Gravage en erreur, OPERATION ABORTED BY USER      "));
}

TEST_F(GraverTest, ShownAgainWhileAnAbortedWriteEndsTheUnitStaysWithTheWriter) {
  Start({kBlankCDR});
  session.Dialogs().AnswerYes();
  gate.HoldAt(0x2A, 1);
  Show([&](TGraver& f) {
    ASSERT_TRUE(ui::Press(f.BBurn));
    ASSERT_TRUE(gate.WaitHeld());
    ASSERT_TRUE(ui::Press(f.Button2));
  });
  ASSERT_TRUE(form->vtbr.Writing());
  const size_t sentBefore = platform->Sent().size();
  Show([&](TGraver& f) {
    EXPECT_EQ(platform->Sent().size(), sentBefore) << "no unit scan under the writer";
    EXPECT_TRUE(Timed(f.Memo1.Lines().back(), ">>> Enregistrement annulé ! "));
    EXPECT_FALSE(f.BBurn.Enabled());
    gate.Open();
    ASSERT_TRUE(BurnDone());
    EXPECT_TRUE(Timed(f.Memo1.Lines().back(), ">>> Gravage en erreur, OPERATION ABORTED BY USER      "));
    f.Close();
  });
  // Once the write has ended, the next show scans the units again.
  Show([&](TGraver& f) {
    ASSERT_EQ(f.Memo1.Lines().size(), 1u);
    EXPECT_EQ(f.Memo1.Lines()[0].rfind(">>> Sélection du lecteur ", 0), 0u);
    EXPECT_TRUE(f.BBurn.Enabled());
    f.Close();
  });
}

TEST_F(GraverTest, TheFormCanGoWhileAWriteRuns) {
  Start({kBlankCDR});
  gate.HoldAt(0x2A, 1);
  form->Show();
  ASSERT_TRUE(ui::Press(form->BBurn));
  ASSERT_TRUE(gate.WaitHeld());
  gate.Open();
  form.reset();  // stops the writer and waits for it
  EXPECT_GE(ui::RunPostedTasks(), 1u);  // its OnWriteDone, dropped
}

// A recorder fault met by a burn or an erase: the unit's keys, and the text the end
// event must carry.
struct RecorderFault {
  const char* Unit;
  bool Erase;
  const char* Error;
};

constexpr char kCloseFailure[] =
    "CLOSE ERROR [ILLEGAL REQUEST (SESSION FIXATION ERROR - INCOMPLETE TRACK IN SESSION)]";
constexpr char kStreamingLost[] = "WRITER ERROR [MEDIUM ERROR (WRITE ERROR - LOSS OF STREAMING)]";

const RecorderFault kRecorderFaults[] = {
    {"Media=CD-R\nFast=1\nFaults=35 3/0C/00", false, "FLUSH ERROR [MEDIUM ERROR (WRITE ERROR)]"},
    {"Media=CD-R\nFast=1\nFaults=5B 5/72/03", false, kCloseFailure},
    {"Media=CD-R\nFast=1\nFaults=2A@100 gone", false, "WRITER ERROR [SELECTION TIMEOUT]"},
    {"Media=CD-R\nFast=1\nFaults=2A@100 3/0C/09", false, kStreamingLost},
    {"Media=DVD+RW\nFast=1\nFaults=35 3/0C/00", false, "FLUSH ERROR [MEDIUM ERROR (WRITE ERROR)]"},
    {"Media=DVD+RW\nFast=1\nFaults=5B 5/72/03", false, kCloseFailure},
    {"Media=DVD+RW\nFast=1\nFaults=2A@100 gone", false, "WRITER ERROR [SELECTION TIMEOUT]"},
    {"Media=DVD+RW\nFast=1\nFaults=2A@100 3/0C/09", false, kStreamingLost},
    {"Media=CD-RW\nState=appendable\nBlankTime=60000\nFaults=A1 3/31/00", true,
     "MEDIUM ERROR (MEDIUM FORMAT CORRUPTED)"},
    {"Media=DVD-RW\nState=appendable\nBlankTime=60000\nFaults=A1 3/31/00", true,
     "MEDIUM ERROR (MEDIUM FORMAT CORRUPTED)"},
    {"Media=CD-RW\nState=appendable\nFaults=A1 gone", true, "SELECTION TIMEOUT"},
    {"Media=DVD-RW\nState=appendable\nFaults=A1 gone", true, "SELECTION TIMEOUT"},
    {"Media=DVD+RW\nState=appendable\nFormatTime=60000\nFaults=04 3/31/01", true,
     "MEDIUM ERROR (FORMAT COMMAND FAILED)"},
    {"Media=CD-R\nFast=1\nFaults=2A@100 nosense", false, "WRITER ERROR [CHECK CONDITION WITHOUT SENSE DATA]"},
    {"Media=CD-R\nFast=1\nFaults=35 nosense", false, "FLUSH ERROR [CHECK CONDITION WITHOUT SENSE DATA]"},
    {"Media=CD-R\nFast=1\nFaults=5B nosense", false, "CLOSE ERROR [CHECK CONDITION WITHOUT SENSE DATA]"},
    {"Media=CD-RW\nState=appendable\nBlankTime=60000\nFaults=A1 nosense", true, "CHECK CONDITION WITHOUT SENSE DATA"},
    {"Media=DVD+RW\nState=appendable\nFormatTime=60000\nFaults=04 nosense", true,
     "CHECK CONDITION WITHOUT SENSE DATA"},
    // Written without error, then found otherwise by the read-back.
    {"Media=CD-R\nFast=1\nFaults=2A@100 garble", false, "VERIFY ERROR AT SECTOR 100 [DATA READ BACK DIFFERS]"},
    {"Media=CD-R\nFast=1\nFaults=28@100 3/11/00", false,
     "VERIFY ERROR AT SECTOR 100 [MEDIUM ERROR (UNRECOVERED READ ERROR)]"},
    {"Media=CD-R\nFast=1\nFaults=28@100 nosense", false,
     "VERIFY ERROR AT SECTOR 100 [CHECK CONDITION WITHOUT SENSE DATA]"},
};

TEST_F(GraverTest, EveryRecorderFaultEndsInOneErrorAndLeavesTheEngineFree) {
  for (const RecorderFault& fault : kRecorderFaults) {
    SCOPED_TRACE(fault.Unit);
    Start({fault.Unit, kBlankCDR});
#ifndef _WIN32
    const size_t threads = ThreadsOfThisProcess();
#endif
    Show([&](TGraver& f) {
      const std::string ending = fault.Erase ? ">>> Effacement " : ">>> Gravage ";
      if (fault.Erase) {
        ASSERT_TRUE(ui::Press(f.Button3));
        ASSERT_TRUE(ui::Press(f.Button1));
        ASSERT_TRUE(Until([&] { return !f.vtbr.Erasing() && LineStarting(ending) >= 0; }));
      } else {
        const uint64_t started = clock.NowMs();
        ASSERT_TRUE(ui::Press(f.BBurn));
        ASSERT_TRUE(BurnDone());
        f.vtbr.WaitForWriter();
        // The engine's waits advance the recorder's clock: a failure is no reason to wait.
        EXPECT_LT(clock.NowMs() - started, 10000u);
      }
#ifndef _WIN32
      EXPECT_TRUE(Until([&] { return ThreadsOfThisProcess() == threads; })) << "a worker thread is left";
#endif
      ui::RunPostedTasks();
      const auto& lines = f.Memo1.Lines();
      const auto ends = std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.compare(0, ending.size(), ending) == 0;
      });
      EXPECT_EQ(ends, 1);
      const std::string failed = fault.Erase ? ">>> Effacement réalisé avec erreur ! " : ">>> Gravage en erreur, ";
      EXPECT_TRUE(Timed(lines[LineStarting(ending)], failed + fault.Error + "      "));
      for (const std::string& line : lines) EXPECT_EQ(line.find("réussi"), std::string::npos) << line;
      // Nothing holds the engine or a unit: the good unit burns.
      f.cbdrives.UserSelect(1);
      ASSERT_TRUE(ui::Press(f.BBurn));
      ASSERT_TRUE(BurnDone());
      EXPECT_TRUE(Timed(f.Memo1.Lines().back(), ">>> Gravage réussi ! "));
      f.Close();
    });
    TearDown();
    SetUp();
  }
}

TEST_F(GraverTest, OptionsPanelToggles) {
  Start({kBlankCDR});
  TGraver& f = *form;
  f.Show();
  ASSERT_TRUE(ui::Press(f.Button3));
  EXPECT_TRUE(f.GroupBox1.Visible());
  EXPECT_EQ(f.Button3.Caption(), "Option -");
  EXPECT_EQ(f.Memo1.Bounds().width, 449);
  EXPECT_TRUE(f.Button1.Showing());
  ASSERT_TRUE(ui::Press(f.Button3));
  EXPECT_FALSE(f.GroupBox1.Visible());
  EXPECT_EQ(f.Button3.Caption(), "Option +");
  EXPECT_EQ(f.Memo1.Bounds().width, 640);
  f.Hide();
}

}  // namespace
}  // namespace kvx::testing
