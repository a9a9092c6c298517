#include "app/menu_actions.h"

#include <array>

#include "wizard/wizard_actions.h"

namespace kvx {
namespace {

ActionOutcome BackupWizardAction(const ActionContext& program) {
  OpenBackupWizard(program.host, program.burning);
  return ActionOutcome::Continue;
}

ActionOutcome RestoreWizardAction(const ActionContext& program) {
  OpenRestoreWizard(program.host, program.burning);
  return ActionOutcome::Continue;
}

struct MenuEntry {
  std::string_view code;
  MenuAction action;
};

// In the order the loop tests them; codes are compared exactly, letter case included.
constexpr std::array<MenuEntry, 13> kMenu = {{
    {"B01", BackupWizardAction},
    {"B02", RestoreWizardAction},
    {"B03", ReindexData},
    {"B05", RunWdMap},
    {"B06", RunWd533Ndx},
    {"B07", UpdateDataStructure},
    {"B08", UpdateSoftware},
    {"B09", nullptr},
    {"B10", EditParamFile},
    {"B11", EditSetupFile},
    {"CLU", ShowLicence},
    {"TMV", StartTeamViewer},
    {"ESC", nullptr},
}};

}  // namespace

MenuAction FindMenuAction(std::string_view code) {
  for (const MenuEntry& entry : kMenu)
    if (entry.code == code) return entry.action;
  return nullptr;
}

}  // namespace kvx
