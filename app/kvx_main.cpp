#include "app/kvx_main.h"

#include "app/gui_application.h"
#include "app/menu_actions.h"
#include "app/restore_mode.h"
#include "archive/restore_journal.h"
#include "base/folders.h"
#include "base/instance_lock.h"
#include "host/host_bridge.h"
#include "wizard/wizard_paths.h"

namespace kvx {
namespace {

// Asks for input until ESC; returns EndProgram when an action ended the toolbox.
ActionOutcome RunMenuLoop(const ActionContext& program) {
  std::string buttonCode;
  do {
    program.host.WaitForInput();
    buttonCode = program.host.LastButtonCode();  // this turn's copy: actions may run inputs of their own
    if (MenuAction action = FindMenuAction(buttonCode))
      if (action(program) == ActionOutcome::EndProgram) return ActionOutcome::EndProgram;
  } while (buttonCode != "ESC");
  return ActionOutcome::Continue;
}

// A restore the machine stopped in the middle of is undone (or its clean-up ended) before
// anything else touches the data, and the person told in one message.
void RecoverRestore(HostBridge& host) {
  const RecoveryReport recovery = RecoverInterruptedRestore(ProgramFolder());
  if (!recovery.found) return;
  if (recovery.failed) host.Error(recovery.message);
  else host.Info(recovery.message, VerbCase::kUpper);
}

bool OwnInstallation(HostBridge& host, InstanceLock& lock) {
  const std::string folder = ProgramFolder();
  std::string error;
  if (lock.Acquire(folder, error)) return true;
  if (error.empty())
    host.Error("La boîte à outils travaille déjà sur les données de " + folder +
               " : attendez qu'elle ait fini, puis recommencez.");
  else
    host.Error("La boîte à outils ne peut pas réserver les données de " + folder + " : " + error);
  host.End();
  return false;
}

}  // namespace

int KvxMain(const std::vector<std::string>& args, const ActionContext& program) {
  HostBridge& host = program.host;
  RunStartupSteps();
  InitGUIApplication();

  host.OpenLibrary("disque,KVXOUTIL.wdl/CR");
  const int32_t libraryResult = host.LastResult();
  // The installation's journal, work folders and data belong to one toolbox at a time: a
  // second one touches nothing, not even a journal that the first is writing.
  InstanceLock installation;
  if (!OwnInstallation(host, installation)) return 1;
  RecoverRestore(host);

  int restoreExitCode = 0;
  if (!args.empty() && args[0] == "KVXRESTAURE" &&
      RunRestoreMode(host, args, restoreExitCode) == ActionOutcome::EndProgram)
    return restoreExitCode;

  if (libraryResult != 0) {
    host.Error("La bibliothèque KVXOUTIL.WDL doit être présente dans le répertoire père.", VerbCase::kCapitalised);
    host.ReleaseContext();
    host.End();
    return 0;
  }

  host.OpenProject("KVXOUTIL.WDP");
  host.OpenWindow("KVXOUTIL.WDW");
  if (RunMenuLoop(program) == ActionOutcome::EndProgram) return 0;  // no FERME: the updater takes over

  host.CloseWindow();
  host.End();
  return 0;
}

}  // namespace kvx
