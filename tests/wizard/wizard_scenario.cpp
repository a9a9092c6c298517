// The whole toolbox in process with the wizard played by a driver: B01 backs the data
// folder up into ARCHIVE, B02 damages the data and restores it from ARCHIVE. Each
// wizard's status line is appended to REPORT. Run by tests/scenario/test_wizard.py:
//   wizard_scenario ARCHIVE REPORT   (current folder: the installation's OUTILS)
#include <filesystem>
#include <fstream>
#include <string>

#include "app/kvx_main.h"
#include "base/file_search.h"
#include "ui/headless.h"
#include "wizard/enregistrer.h"

namespace {

void Report(const std::string& path, const std::string& line) {
  std::ofstream(kvx::NativePath(path), std::ios::binary | std::ios::app) << line << "\r\n";
}

// What the restore has to repair: a damaged file, a missing one and a missing picture.
void DamageData() {
  std::ofstream(kvx::NativePath("..\\FIC01\\CLIENTS.FIC"), std::ios::binary | std::ios::trunc) << "abîmé";
  std::filesystem::remove(kvx::NativePath("..\\FIC01\\ARTICLES.NDX"));
  std::filesystem::remove(kvx::NativePath("..\\FIC01\\IMAGES\\LOGO.BMP"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string archive = argv[1];
  const std::string report = argv[2];
  kvx::ui::HeadlessSession session;
  session.SetDriver([&](kvx::ui::Form& shown) {
    auto& wizard = dynamic_cast<kvx::TEnregistrer&>(shown);
    if (wizard.PageControl1.ActivePage() == &wizard.TabSheet1) {
      wizard.ComboBox1.UserType(archive);
      wizard.CheckBoxOuvDossier.UserClick();
      kvx::ui::Press(wizard.BitBtn5);
      Report(report, "B01 " + wizard.Label6.Caption());
      kvx::ui::Press(wizard.BitBtn6);
    } else {
      DamageData();
      wizard.Edit1.SetText(archive);
      kvx::ui::Press(wizard.BitBtn7);
      Report(report, "B02 " + wizard.Label9.Caption());
      kvx::ui::Press(wizard.BitBtn8);
    }
  });
  return kvx::KvxMain({});
}
