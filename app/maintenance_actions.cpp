// Maintenance actions of the menu: data tools, Notepad on the parameter files, the
// licence text and TeamViewer. Relative paths are taken against the current folder.
// Each action stops at its first failure with a message that names it: a later tool
// never runs on a state an earlier step did not reach.
#include <optional>
#include <string>

#include "app/menu_actions.h"
#include "base/file_search.h"
#include "base/folders.h"
#include "host/host_bridge.h"
#include "host/kvx_application.h"
#include "host/param_files.h"
#include "host/system_helpers.h"
#include "host/system_helpers_shared.h"

namespace kvx {
namespace {

constexpr char kLocalParamFile[] = "..\\FIC01\\PARAM.DTA";

void TellParamFileMissing(HostBridge& host) {
  host.Info("Erreur d'ouverture de la base de données : Ne trouve pas le fichier Param.dta. "
            "Veuillez contacter le service technique.",
            VerbCase::kLower);
}

std::string WithBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

// Runs a tool to its end; false, with a message naming it, when it could not be started
// or ended with another exit code than 0 (Esc ends it with one).
bool RunTool(HostBridge& host, const std::string& program, std::string_view arguments) {
  const std::optional<int64_t> exitCode = RunToExit(host, program, arguments, EscapeKeyDown);
  if (exitCode == 0) return true;
  const std::string name = FileNamePart(program);
  if (!exitCode) host.Info("Impossible de lancer " + name + ".");
  else host.Info(name + " s'est terminé en erreur (code de sortie " + std::to_string(*exitCode) + ").");
  return false;
}

// Without an index list the copy only removes the last one, and the tool goes on
// without it; a list that cannot be put in place stops the reindex.
bool CopyIndexList(HostBridge& host, const std::string& target) {
  constexpr char kIndexList[] = "..\\FIC01\\WDINDEX.TXT";
  if (CopyReplace(kIndexList, target, false) || !FileExists(kIndexList)) return true;
  host.Info(std::string("Impossible de copier ") + kIndexList + " vers " + target + ".");
  return false;
}

bool EnterFolder(HostBridge& host, const std::string& folder) {
  if (SetCurrentFolder(folder)) return true;
  host.Info("Impossible d'ouvrir le dossier " + folder + ".");
  return false;
}

// The index list goes to the Windows folders before the reindexing tool reads it.
void RunReindex(HostBridge& host) {
  CurrentFolderGuard guard;
  const std::string windows = WindowsFolder();
  if (!CopyIndexList(host, windows + "WDINDEX.$$$") || !CopyIndexList(host, windows + "SYSTEM32\\WDINDEX.$$$"))
    return;
  const std::string dataFolder = ReadFirstField(LocateParamFile(), "REPERTOIREF", kComposants);
  if (dataFolder.empty()) return TellParamFileMissing(host);
  RunTool(host, "REINDEXE.EXE", "REP=" + ShortPath(TrimText(dataFolder, TrimMode::kTrailing)));
}

}  // namespace

ActionOutcome ReindexData(const ActionContext& program) {
  if (VolmeraRuns()) {
    if (!program.host.AskYesNo("Volmera est ouvert, voulez-vous tout de même réindexer la base de données?"))
      return ActionOutcome::Continue;
  }
  RunReindex(program.host);
  return ActionOutcome::Continue;
}

ActionOutcome RunWdMap(const ActionContext& program) {
  RunTool(program.host, "WDMAP.EXE", "");
  return ActionOutcome::Continue;
}

ActionOutcome RunWd533Ndx(const ActionContext& program) {
  RunTool(program.host, "WD533NDX.EXE", "");
  return ActionOutcome::Continue;
}

ActionOutcome UpdateDataStructure(const ActionContext& program) {
  CurrentFolderGuard guard;
  if (VolmeraRuns()) {
    program.host.Info("Impossible de mettre à jour la base de données si Volmera est ouvert");
    return ActionOutcome::Continue;
  }
  const std::string dataFolder = ReadFirstField(kLocalParamFile, "REPERTOIREF", kComposants);
  if (dataFolder.empty()) {
    TellParamFileMissing(program.host);
    return ActionOutcome::Continue;
  }
  const std::string shortDataFolder = ShortPath(TrimText(dataFolder, TrimMode::kAll));
  if (!EnterFolder(program.host, "..")) return ActionOutcome::Continue;
  const std::string parent = WithBackslash(CurrentFolder());
  program.host.Info("Logiciel : " + parent + "SOURCES\n\rStructure de données : " + parent + "HSF\n\r" +
                    "Base de données : " + shortDataFolder);
  DeleteMatching(parent + "HSF\\MO*.BIN");
  if (!EnterFolder(program.host, parent + "HSF") ||
      !RunTool(program.host, parent + "SOURCES\\WDMODFIC.EXE",
               DataFileUpdateArguments(shortDataFolder, DataFileUpdate::kFromMenu)) ||
      !EnterFolder(program.host, guard.Saved()))
    return ActionOutcome::Continue;
  RunTool(program.host, "TRANSFMO.EXE", "MAJ");
  return ActionOutcome::Continue;
}

ActionOutcome UpdateSoftware(const ActionContext& program) {
  if (VolmeraRuns()) {
    program.host.Info("Impossible de mettre à jour le logiciel si Volmera est ouvert");
    return ActionOutcome::Continue;
  }
  CurrentFolderGuard guard;
  Launch("PAVORIN.EXE", "MAJ", false);
  return ActionOutcome::EndProgram;  // the updater replaces the toolbox: no FERME, the link stays
}

ActionOutcome EditParamFile(const ActionContext& program) {
  RunAndWait(program.host, "NOTEPAD.EXE", kLocalParamFile);
  return ActionOutcome::Continue;
}

ActionOutcome EditSetupFile(const ActionContext& program) {
  RunAndWait(program.host, "NOTEPAD.EXE", "SETUP.DTA");
  return ActionOutcome::Continue;
}

ActionOutcome ShowLicence(const ActionContext& program) {
  const std::string edition = ReadFirstField(kLocalParamFile, "USER", kComposants);
  const std::string path = ProgramFolder() + (edition == kTbqEdition ? "CLUF_TBQ.RTF" : "CLUF_KVX.RTF");
  if (!FileExists(path)) return ActionOutcome::Continue;
  program.host.OpenWindow("FEN_CLUF_VIEW.WDW");
  program.host.CallProcedure("Charge", path);
  program.host.WaitForInput();  // the viewer stays open until the user closes it
  program.host.CloseWindow();
  return ActionOutcome::Continue;
}

ActionOutcome StartTeamViewer(const ActionContext&) {
  KillProcesses("TeamViewer.exe", true);
  Launch("..\\TeamViewer\\TeamViewer.exe", "", true);
  return ActionOutcome::Continue;
}

}  // namespace kvx
