// The whole toolbox in process with the wizard played by a driver: B01 backs the data
// folder up into ARCHIVE, B02 damages the data and restores it from ARCHIVE. Each
// wizard's status line is appended to REPORT. Run by tests/scenario/test_wizard.py:
//   wizard_scenario ARCHIVE REPORT   (current folder: the installation's OUTILS)
// With a third argument CD (tests/scenario/test_cd_backup.py), B01 backs up to the CD
// drive R: instead, declines the XP assistant and burns with the burn wizard, whose
// log lines and the questions asked go to REPORT too. With AS-IS instead, B02 restores
// the data as it is, without damaging it first.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/kvx_main.h"
#include "base/file_search.h"
#include "base/folders.h"
#include "burner/burn_engine.h"
#include "host/host_bridge.h"
#include "scsi/transport.h"
#include "wizard/graver.h"
#include "ui/headless.h"
#include "wizard/enregistrer.h"

namespace {

void Report(const std::string& path, const std::string& line) {
  std::ofstream(kvx::NativePath(path), std::ios::binary | std::ios::app) << line << "\r\n";
}

// What the restore has to repair: a damaged file, a missing one and a damaged picture.
void DamageData() {
  for (const char* damaged : {"..\\FIC01\\CLIENTS.FIC", "..\\FIC01\\IMAGES\\LOGO.BMP"})
    std::ofstream(kvx::NativePath(damaged), std::ios::binary | std::ios::trunc) << "abîmé";
  std::filesystem::remove(kvx::NativePath("..\\FIC01\\ARTICLES.NDX"));
}

// Burns with ejection at the end, the timers ticking as they would, then quits.
void BurnWithTheWizard(kvx::TGraver& graver, const std::string& report) {
  graver.CheckBox1.UserClick();
  if (kvx::ui::Press(graver.BBurn)) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    while (!graver.BBurn.Enabled() && std::chrono::steady_clock::now() < deadline) {
      kvx::ui::PumpUntil([&] { return graver.BBurn.Enabled(); }, std::chrono::seconds(1));
      graver.Timer2.Tick();
    }
  } else {
    Report(report, "BURN not possible");
  }
  for (const std::string& line : graver.Memo1.Lines()) Report(report, "LOG " + line);
  kvx::ui::Press(graver.Button2);
}

void BackUp(kvx::TEnregistrer& wizard, const std::string& archive, bool toCD, const std::string& report) {
  if (toCD) {
    kvx::ui::Press(wizard.BitBtn2);
  } else {
    wizard.ComboBox1.UserType(archive);
    wizard.CheckBoxOuvDossier.UserClick();
  }
  kvx::ui::Press(wizard.BitBtn5);
  Report(report, "B01 " + wizard.Label6.Caption());
  kvx::ui::Press(wizard.BitBtn6);
}

void Restore(kvx::TEnregistrer& wizard, const std::string& archive, bool damage, const std::string& report) {
  if (damage) DamageData();
  wizard.Edit1.SetText(archive);
  kvx::ui::Press(wizard.BitBtn7);
  Report(report, "B02 " + wizard.Label9.Caption());
  kvx::ui::Press(wizard.BitBtn8);
}

}  // namespace

int main(int argc, char** argv) {
  kvx::KeepCurrentFolderOffLibrarySearch();  // as KVXOUTIL.EXE starts
  if (argc < 3) return 2;
  const std::string archive = argv[1];
  const std::string report = argv[2];
  const std::string mode = argc > 3 ? argv[3] : "";
  const bool toCD = mode == "CD";
  kvx::ui::HeadlessSession session;
  if (toCD) {
    std::vector<kvx::ui::DriveInfo> drives = kvx::ui::SystemDrives();
    drives.push_back({'R', kvx::ui::DriveType::CDROM, "", ""});
    session.SetDrives(drives);
    session.Dialogs().AnswerNo();  // no XP assistant: the burn wizard
  }
  session.SetDriver([&](kvx::ui::Form& shown) {
    if (auto* graver = dynamic_cast<kvx::TGraver*>(&shown)) return BurnWithTheWizard(*graver, report);
    auto& wizard = dynamic_cast<kvx::TEnregistrer&>(shown);
    if (wizard.PageControl1.ActivePage() == &wizard.TabSheet1) BackUp(wizard, archive, toCD, report);
    else Restore(wizard, archive, mode != "AS-IS", report);
  });
  kvx::HostBridge host;
  kvx::scsi::SCSITransportHub transport;
  kvx::BurnEngine burning(transport);
  const int result = kvx::KvxMain({}, {host, burning});
  for (const std::string& line : session.Dialogs().Transcript()) Report(report, "DIALOG " + line);
  return result;
}
