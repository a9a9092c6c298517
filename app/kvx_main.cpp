#include "app/kvx_main.h"

#include "app/gui_application.h"
#include "app/menu_actions.h"
#include "app/restore_mode.h"
#include "host/host_bridge.h"

namespace kvx {
namespace {

constexpr char kMenuLibraryMissing[] =
    "Erreur,La biblioth\xE8que KVXOUTIL.WDL doit \xEAtre pr\xE9sente dans le r\xE9pertoire p\xE8re.";

// Asks for input until ESC; returns EndProgram when an action ended the toolbox.
ActionOutcome RunMenuLoop() {
  std::string buttonCode;
  do {
    HostCommand("ECRAN,SAISIE");
    buttonCode = LastButtonCode();  // this turn's copy: actions may run inputs of their own
    if (MenuAction action = FindMenuAction(buttonCode))
      if (action() == ActionOutcome::EndProgram) return ActionOutcome::EndProgram;
  } while (buttonCode != "ESC");
  return ActionOutcome::Continue;
}

}  // namespace

int KvxMain(const std::vector<std::string>& args) {
  RunStartupSteps();
  InitGuiApplication();

  HostCommand("BIBLI,disque,KVXOUTIL.wdl/CR");
  const int32_t libraryResult = LastHostResult();

  int restoreExitCode = 0;
  if (!args.empty() && args[0] == "KVXRESTAURE" && RunRestoreMode(args, restoreExitCode) == ActionOutcome::EndProgram)
    return restoreExitCode;

  if (libraryResult != 0) {
    HostCommand(kMenuLibraryMissing);
    HostReleaseContext();
    HostEnd();
    return 0;
  }

  HostCommand("PROJET,KVXOUTIL.WDP");
  HostCommand("OUVRE,KVXOUTIL.WDW");
  if (RunMenuLoop() == ActionOutcome::EndProgram) return 0;  // no FERME: the updater takes over

  HostCommand("FERME");
  HostEnd();
  return 0;
}

}  // namespace kvx
