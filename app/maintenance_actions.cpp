// Maintenance actions of the menu.
#include "app/menu_actions.h"

namespace kvx {

// Filled as the helpers they run arrive; each returns to the menu.
ActionOutcome ReindexData() { return ActionOutcome::Continue; }
ActionOutcome RunWdMap() { return ActionOutcome::Continue; }
ActionOutcome RunWd533Ndx() { return ActionOutcome::Continue; }
ActionOutcome UpdateDataStructure() { return ActionOutcome::Continue; }
ActionOutcome UpdateSoftware() { return ActionOutcome::Continue; }
ActionOutcome EditParamFile() { return ActionOutcome::Continue; }
ActionOutcome EditSetupFile() { return ActionOutcome::Continue; }
ActionOutcome ShowLicence() { return ActionOutcome::Continue; }
ActionOutcome StartTeamViewer() { return ActionOutcome::Continue; }

}  // namespace kvx
