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
void RunReindex() {
  CurrentFolderGuard guard;
  const std::string windows = WindowsFolder();
  CopyReplace("..\\FIC01\\WDINDEX.TXT", windows + "WDINDEX.$$$", false);
  CopyReplace("..\\FIC01\\WDINDEX.TXT", windows + "SYSTEM32\\WDINDEX.$$$", false);
  LocateParamFile();
  std::string dataFolder = ReadFirstField(ParamPath, "REPERTOIREF", kComposants);
  if (dataFolder.empty()) HostCommand(kParamFileMissing);
  else dataFolder = TrimText(dataFolder, 2);
  RunAndWait("REINDEXE.EXE", "REP=" + ShortPath(dataFolder));
}

}  // namespace

ActionOutcome ReindexData() {
  if (VolmeraRuns()) {
    HostCommand("OUINON,Volmera est ouvert, voulez-vous tout de m\xEAme r\xE9indexer la base de donn\xE9" "es?");
    if (LastHostResult() == 0) return ActionOutcome::Continue;
  }
  RunReindex();
  return ActionOutcome::Continue;
}

ActionOutcome RunWdMap() {
  RunAndWait("WDMAP.EXE", "");
  return ActionOutcome::Continue;
}

ActionOutcome RunWd533Ndx() {
  RunAndWait("WD533NDX.EXE", "");
  return ActionOutcome::Continue;
}

ActionOutcome UpdateDataStructure() {
  CurrentFolderGuard guard;
  if (VolmeraRuns()) {
    HostCommand("Info,Impossible de mettre \xE0 jour la base de donn\xE9" "es si Volmera est ouvert");
    return ActionOutcome::Continue;
  }
  DataFolder = ReadFirstField(kLocalParamFile, "REPERTOIREF", kComposants);
  if (!DataFolder.empty()) DataFolder = ShortPath(TrimText(DataFolder, 3));
  else HostCommand(kParamFileMissing);

  SetCurrentFolder("..");
  const std::string parent = WithBackslash(CurrentFolder());
  HostCommand("Info,Logiciel : " + parent + "SOURCES\n\rStructure de donn\xE9" "es : " + parent + "HSF\n\r" +
              "Base de donn\xE9" "es : " + DataFolder);
  DeleteMatching(parent + "HSF\\MO*.BIN");
  SetCurrentFolder(parent + "HSF");
  RunAndWait(parent + "SOURCES\\WDMODFIC.EXE", "-nobackup /WDD=\"GELDOR.WDD\" /DIR=\"" + DataFolder + "\"");
  SetCurrentFolder(guard.Saved());
  RunAndWait("TRANSFMO.EXE", "MAJ");
  return ActionOutcome::Continue;
}

ActionOutcome UpdateSoftware() {
  if (VolmeraRuns()) {
    HostCommand("Info,Impossible de mettre \xE0 jour le logiciel si Volmera est ouvert");
    return ActionOutcome::Continue;
  }
  CurrentFolderGuard guard;
  Launch("PAVORIN.EXE", "MAJ", false);
  return ActionOutcome::EndProgram;  // the updater replaces the toolbox: no FERME, the link stays
}

ActionOutcome EditParamFile() {
  RunAndWait("NOTEPAD.EXE", kLocalParamFile);
  return ActionOutcome::Continue;
}

ActionOutcome EditSetupFile() {
  RunAndWait("NOTEPAD.EXE", "SETUP.DTA");
  return ActionOutcome::Continue;
}

ActionOutcome ShowLicence() {
  const std::string edition = ReadFirstField(kLocalParamFile, "USER", kComposants);
  const std::string path = ProgramFolder() + (edition == kTbqEdition ? "CLUF_TBQ.RTF" : "CLUF_KVX.RTF");
  if (!FileExists(path)) return ActionOutcome::Continue;
  HostCommand("OUVRE,FEN_CLUF_VIEW.WDW");
  HostCommand("EXECUTE(\"Charge\",\"" + path + "\")");
  HostCommand("ECRAN,SAISIE");  // the viewer stays open until the user closes it
  HostCommand("FERME");
  return ActionOutcome::Continue;
}

ActionOutcome StartTeamViewer() {
  KillProcesses("TeamViewer.exe", true);
  Launch("..\\TeamViewer\\TeamViewer.exe", "", true);
  return ActionOutcome::Continue;
}

}  // namespace kvx
