// The menu's button codes and the action each one runs.
#pragma once

#include <string_view>

namespace kvx {

enum class ActionOutcome { Continue, EndProgram };

using MenuAction = ActionOutcome (*)();

// The action of a code, or nullptr for codes that run nothing (B09, ESC, unknown ones).
MenuAction FindMenuAction(std::string_view code);

// Maintenance actions.
ActionOutcome ReindexData();
ActionOutcome RunWdMap();
ActionOutcome RunWd533Ndx();
ActionOutcome UpdateDataStructure();
ActionOutcome UpdateSoftware();
ActionOutcome EditParamFile();
ActionOutcome EditSetupFile();
ActionOutcome ShowLicence();
ActionOutcome StartTeamViewer();

}  // namespace kvx
