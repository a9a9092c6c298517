// Maintenance actions of the menu: data tools, Notepad on the parameter files, the
// licence text and TeamViewer. Relative paths are taken against the current folder.
#include "app/menu_actions.h"
#include "base/folders.h"
#include "host/host_bridge.h"
#include "host/param_files.h"
#include "host/system_helpers.h"

namespace kvx {
namespace {

constexpr char kParamFileMissing[] =
    "info,Erreur d'ouverture de la base de donn\xE9" "es : Ne trouve pas le fichier Param.dta. "
    "Veuillez contacter le service technique.";
constexpr char kLocalParamFile[] = "..\\FIC01\\PARAM.DTA";

bool VolmeraRuns() { return CountProcesses("VOLMERA.EXE") > 0; }

std::string WithBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

// The index list goes to the Windows folders before the reindexing tool reads it.
void RunReindex(HostBridge& host) {
  CurrentFolderGuard guard;
  const std::string windows = WindowsFolder();
  CopyReplace("..\\FIC01\\WDINDEX.TXT", windows + "WDINDEX.$$$", false);
  CopyReplace("..\\FIC01\\WDINDEX.TXT", windows + "SYSTEM32\\WDINDEX.$$$", false);
  std::string dataFolder = ReadFirstField(LocateParamFile(), "REPERTOIREF", kComposants);
  if (dataFolder.empty()) host.Command(kParamFileMissing);
  else dataFolder = TrimText(dataFolder, 2);
  RunAndWait(host, "REINDEXE.EXE", "REP=" + ShortPath(dataFolder));
}

}  // namespace

ActionOutcome ReindexData(const ActionContext& program) {
  if (VolmeraRuns()) {
    program.host.Command(
        "OUINON,Volmera est ouvert, voulez-vous tout de m\xEAme r\xE9indexer la base de donn\xE9" "es?");
    if (program.host.LastResult() == 0) return ActionOutcome::Continue;
  }
  RunReindex(program.host);
  return ActionOutcome::Continue;
}

ActionOutcome RunWdMap(const ActionContext& program) {
  RunAndWait(program.host, "WDMAP.EXE", "");
  return ActionOutcome::Continue;
}

ActionOutcome RunWd533Ndx(const ActionContext& program) {
  RunAndWait(program.host, "WD533NDX.EXE", "");
  return ActionOutcome::Continue;
}

ActionOutcome UpdateDataStructure(const ActionContext& program) {
  CurrentFolderGuard guard;
  if (VolmeraRuns()) {
    program.host.Command("Info,Impossible de mettre \xE0 jour la base de donn\xE9" "es si Volmera est ouvert");
    return ActionOutcome::Continue;
  }
  std::string dataFolder = ReadFirstField(kLocalParamFile, "REPERTOIREF", kComposants);
  if (!dataFolder.empty()) dataFolder = ShortPath(TrimText(dataFolder, 3));
  else program.host.Command(kParamFileMissing);

  SetCurrentFolder("..");
  const std::string parent = WithBackslash(CurrentFolder());
  program.host.Command("Info,Logiciel : " + parent + "SOURCES\n\rStructure de donn\xE9" "es : " + parent + "HSF\n\r" +
              "Base de donn\xE9" "es : " + dataFolder);
  DeleteMatching(parent + "HSF\\MO*.BIN");
  SetCurrentFolder(parent + "HSF");
  RunAndWait(program.host, parent + "SOURCES\\WDMODFIC.EXE",
             "-nobackup /WDD=\"GELDOR.WDD\" /DIR=\"" + dataFolder + "\"");
  SetCurrentFolder(guard.Saved());
  RunAndWait(program.host, "TRANSFMO.EXE", "MAJ");
  return ActionOutcome::Continue;
}

ActionOutcome UpdateSoftware(const ActionContext& program) {
  if (VolmeraRuns()) {
    program.host.Command("Info,Impossible de mettre \xE0 jour le logiciel si Volmera est ouvert");
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
  program.host.Command("OUVRE,FEN_CLUF_VIEW.WDW");
  program.host.Command("EXECUTE(\"Charge\",\"" + path + "\")");
  program.host.Command("ECRAN,SAISIE");  // the viewer stays open until the user closes it
  program.host.Command("FERME");
  return ActionOutcome::Continue;
}

ActionOutcome StartTeamViewer(const ActionContext&) {
  KillProcesses("TeamViewer.exe", true);
  Launch("..\\TeamViewer\\TeamViewer.exe", "", true);
  return ActionOutcome::Continue;
}

}  // namespace kvx
