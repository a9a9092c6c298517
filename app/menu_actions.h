// The menu's button codes and the action each one runs.
#pragma once

#include <string_view>

namespace kvx {

class BurnEngine;
class HostBridge;

enum class ActionOutcome { Continue, EndProgram };

// The program's objects the actions work with: its link to the host and its burning
// engine.
struct ActionContext {
  HostBridge& host;
  BurnEngine& burning;
};

using MenuAction = ActionOutcome (*)(const ActionContext& program);

// The action of a code, or nullptr for codes that run nothing (B09, ESC, unknown ones).
MenuAction FindMenuAction(std::string_view code);

// Maintenance actions.
ActionOutcome ReindexData(const ActionContext& program);
ActionOutcome RunWdMap(const ActionContext& program);
ActionOutcome RunWd533Ndx(const ActionContext& program);
ActionOutcome UpdateDataStructure(const ActionContext& program);
ActionOutcome UpdateSoftware(const ActionContext& program);
ActionOutcome EditParamFile(const ActionContext& program);
ActionOutcome EditSetupFile(const ActionContext& program);
ActionOutcome ShowLicence(const ActionContext& program);
ActionOutcome StartTeamViewer(const ActionContext& program);

}  // namespace kvx
