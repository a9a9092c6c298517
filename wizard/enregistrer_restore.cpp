// The restore tab (restoring an archive, choosing it, the gauge timer) and the options
// tab (searching for backups, editing the list of known backups).
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "archive/restore_procedure.h"
#include "base/exception_text.h"
#include "base/file_search.h"
#include "base/folders.h"
#include "host/host_rules.h"
#include "host/kvx_application.h"
#include "host/param_files.h"
#include "host/system_helpers.h"
#include "wizard/enregistrer.h"
#include "wizard/routine.h"
#include "wizard/wizard_paths.h"

namespace kvx {
namespace {

constexpr char kRestoreFailed[] = "Echec de la restauration !";
constexpr char kRestoreDone[] = "La restauration a été effectuée avec succes !";
constexpr char kStartRestore[] = " Voulez vous démarrer la restauration ?";
constexpr char kDataUnchanged[] = " Les données n'ont pas été modifiées.";

// Field 1 of a key of section COMPOSANTS, read through the field table.
std::string FirstFieldOf(const std::string& paramFile, const char* key) {
  table_param table;
  ReadFieldTable(paramFile, key, kComposants, table);
  return table[1];
}

void ShowOutdatedVersion() {
  ui::ShowMessage(
      "ERREUR.Attention certains fichiers sont dans une version trop ancienne pour etre récupérer simplement.\r\n"
      "Contactez le service technique.");
}

// The values read before the restore go into the restored PARAM.DTA, read back before the switch.
bool WriteBackParameters(const std::string& parameters, const std::string& dataFolder, int32_t version) {
  return WriteFieldValue(parameters, "REPERTOIREF", dataFolder) &&
         WriteFieldValue(parameters, "VERSION", std::to_string(version)) &&
         !RemoveBlanks(FirstFieldOf(parameters, "VERSION")).empty();
}

// The installation as its PARAM.DTA describes it; read with the folder above the program's
// current, where a relative REPERTOIREF is taken.
struct Installation {
  std::string baseFolder;
  std::string paramFile;
  std::string dataFolder;
  int32_t version = 0;
};

Installation ReadInstallation(const std::string& baseFolder) {
  Installation installation;
  installation.baseFolder = baseFolder;
  installation.paramFile = baseFolder + "FIC01\\PARAM.DTA";
  installation.version = TextToInt(FirstFieldOf(installation.paramFile, "VERSION"));
  const std::string recorded = FirstFieldOf(installation.paramFile, "REPERTOIREF");
  installation.dataFolder = WithSeparator(RemoveBlanks(recorded).empty() ? baseFolder + "FIC01\\" : ShortPath(recorded));
  return installation;
}

// The restored TRAMES also goes into the installation's folder; the data files are then
// brought to this version by the two converters.
RestoreRequest RequestFor(const std::string& archive, const std::string& programFolder, const Installation& installation) {
  RestoreRequest request;
  request.archive = archive;
  request.dataFolder = installation.dataFolder;
  request.programFolder = programFolder;
  request.paramFile = installation.paramFile;
  request.writeBack = [dataFolder = installation.dataFolder, version = installation.version](const std::string& parameters) {
    return WriteBackParameters(parameters, dataFolder, version);
  };
  request.copiedOut = "TRAMES";
  request.copiedTo = installation.baseFolder;
  request.converters = {
      {"WDMODFIC.EXE", DataFileUpdateArguments(ShortPath(installation.dataFolder), DataFileUpdate::kAfterRestore)},
      {"TRANSFMO.EXE", "MAJ"}};
  return request;
}

std::string WhereTheDataAsItWasLies(const std::string& safetyCopy) {
  return "Les données d'avant la restauration sont dans la copie de sécurité " + safetyCopy + ".";
}

// Tells why a restore failed, and where the data as it was lies.
void ShowFailure(const RestoreOutcome& outcome) {
  switch (outcome.failedAt) {
    case RestoreStage::None:
      return;
    case RestoreStage::Parameters:
      ShowOutdatedVersion();
      return;
    case RestoreStage::Converter:
      ui::ShowMessage(outcome.message + " " + WhereTheDataAsItWasLies(outcome.safetyCopy));
      return;
    case RestoreStage::Mixed:
      ui::ShowMessage(outcome.message);
      return;
    default:
      ui::ShowMessage(outcome.message + kDataUnchanged);
  }
}

}  // namespace

void TEnregistrer::BitBtn7Click() {
  const std::optional<ActionScope> action = BeginAction();
  if (!action) return;
  BitBtn7.SetEnabled(false);
  BitBtn8.SetEnabled(false);
  Gauge1.SetProgress(0);
  try {
    RunRestore();
  } catch (...) {
    Label9.SetCaption(kRestoreFailed + std::string(" ") + CurrentExceptionText());
  }
  Timer1.SetEnabled(false);
  BitBtn7.SetEnabled(true);
  BitBtn8.SetEnabled(true);
  Gauge1.SetVisible(false);
}

// Restores the archive named in Edit1 into the data folder. Until the switch every
// failure leaves the data folder as it was; a failure told in a message is followed by
// the status line's.
void TEnregistrer::RunRestore() {
  CurrentFolderGuard keep;
  const std::string programFolder = WithSeparator(keep.Saved());
  const std::string archive = Edit1.Text();
  if (!IsPlainFile(archive)) {
    Label9.SetCaption("Le fichier sélectionné n'existe pas !");
    return;
  }
  if (VolmeraRuns()) {  // whichever tab the wizard was opened on
    ui::ShowMessage("Impossible de restaurer la base de données si Volmera est ouvert");
    Label9.SetCaption(kRestoreFailed);
    return;
  }
  Label9.SetCaption("Début de la restauration !");
  Gauge1.SetVisible(true);
  Timer1.SetEnabled(true);

  if (!SetCurrentFolder("..")) {
    Label9.SetCaption(kRestoreFailed);
    return;
  }
  const Installation installation =
      ReadInstallation(WithSeparator(TrimText(ShortPath(CurrentFolder()), TrimMode::kTrailing)));
  SetCurrentFolder(programFolder);
  if (installation.version == 0) {
    ShowOutdatedVersion();
    Label9.SetCaption(kRestoreFailed);
    return;
  }
  const RestoreOutcome outcome = kvx::RunRestore(host_, RequestFor(archive, programFolder, installation));
  if (outcome.failedAt != RestoreStage::None) {
    ShowFailure(outcome);
    Label9.SetCaption(kRestoreFailed);
    return;
  }
  Timer1.SetEnabled(false);
  Gauge1.SetProgress(100);
  // Told with the status already shown: where the data as it was lies, should the restored
  // data prove wrong.
  Label9.SetCaption(kRestoreDone);
  if (!outcome.safetyCopy.empty()) ui::ShowMessage(WhereTheDataAsItWasLies(outcome.safetyCopy));
}

void TEnregistrer::Timer1Timer() {
  if (Gauge1.Progress() >= Gauge1.MaxValue()) Gauge1.SetProgress(0);
  else Gauge1.AddProgress(5);
  Gauge1.Repaint();
  Repaint();
}

void TEnregistrer::ListBox1Click() {
  if (ListBox1.ItemIndex() >= 0) Edit1.SetText(ListBox1.SelectedText());
}

void TEnregistrer::ListBox1DblClick() {
  if (Busy() || ListBox1.ItemIndex() < 0 || !ui::Confirm(kStartRestore)) return;
  Edit1.SetText(ListBox1.SelectedText());
  PageControl1.SetActivePage(TabSheet2);
  BitBtn7Click();
}

void TEnregistrer::BitBtn9Click() {
  if (Busy()) return;
  CurrentFolderGuard keep;
  OpenDialog1.Settings().initialDir = FolderPart(Edit1.Text());
  if (OpenDialog1.Execute()) Edit1.SetText(OpenDialog1.FileName());
}

void TEnregistrer::ListBox2DblClick() {
  if (Busy() || ListBox2.ItemIndex() < 0 || !ui::Confirm(kStartRestore)) return;
  const std::string chosen = ListBox2.SelectedText();
  Edit1.SetText(chosen);
  bool listed = false;
  for (int i = 0; i < ListBox1.Count(); ++i)
    if (ListBox1.Items()[i] == chosen) {
      ListBox1.SetItemIndex(i);
      listed = true;
    }
  if (!listed) {
    ListBox1.AddItem(chosen);
    ListBox1.SetItemIndex(ListBox1.Count() - 1);
  }
  PageControl1.SetActivePage(TabSheet2);
  BitBtn7Click();
}

void TEnregistrer::TabSheet3Show() {
  ComboBox2.Clear();
  ComboBox2.SetText(ComboBox1.Text());
  ComboBox2.SetItems(ComboBox1.Items());
}

void TEnregistrer::BitBtn10Click() {
  if (!Busy() && ui::Confirm("     Etes-vous sûr de vouloir éffacer " + ComboBox2.Text() + " de la liste ?     "))
    ComboBox2.DeleteItem(ComboBox2.ItemIndex());
}

void TEnregistrer::BitBtn11Click() {
  if (!Busy() && ui::Confirm("     Etes-vous sûr de vouloir éffacer la liste ?     ")) ComboBox2.Clear();
}

void TEnregistrer::BitBtn12Click() {
  if (Busy()) return;
  CurrentFolderGuard keep;
  Edit2.SetText(ui::BrowseFolder("Rechercher dans", "C:\\").value_or("C:\\"));
}

void TEnregistrer::BitBtn13Click() {
  CurrentFolderGuard keep;
  if (BitBtn13.Caption() != "Rechercher") {
    BitBtn13.SetCaption("Rechercher");
    if (routine_) routine_->Terminate();
    return;
  }
  if (acting_) return;  // a search asked to stop gives way to the next one
  if (Edit2.Text().empty()) {
    ui::ShowMessage("Aucun chemin de recherche spécifié !");
    return;
  }
  routine_.reset();  // a search asked to stop ends before the next one starts
  routine_ = MakeOwnedThread<TRoutine>(BitBtn13, Edit2.Text(), backupFileName_, ListBox2, Label12, [this] { EndSearch(); });
}

void TEnregistrer::EndSearch() { routine_.reset(); }

}  // namespace kvx
