// The wizard form's life (creation, showing, closing), the list of known backups,
// and the backup tab: choosing a target and making the backup.
#include "wizard/enregistrer.h"

#include <charconv>
#include <vector>

#include "archive/archive_procedures.h"
#include "archive/restore_journal.h"
#include "base/ascii_case.h"
#include "base/exception_text.h"
#include "base/folders.h"
#include "host/host_bridge.h"
#include "host/kvx_application.h"
#include "host/param_files.h"
#include "host/profile.h"
#include "host/system_helpers.h"
#include "ui/dialogs.h"
#include "ui/drives.h"
#include "wizard/routine.h"
#include "wizard/wizard_paths.h"

namespace kvx {
namespace {

constexpr char kBackupListFile[] = "SauvegardeKVX.ini";
constexpr char kDiskette[] = "A:\\";
constexpr uint16_t kDisketteVolumes = 0x8300;  // spanning, subfolder, wipe
// More backups than anyone keeps in the list; a larger count is damage.
constexpr int kMaxBackupEntries = 10000;
// What a missing key reads as: no line of an ini file can hold it.
constexpr char kMissingEntry[] = "\x01";

// The list's count as the runtime's integer conversion reads it: optional sign and
// digits, leading blanks allowed; anything else is not a number.
bool ReadCount(const std::string& text, int& count) {
  const size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos) return false;
  const char* first = text.data() + start;
  const char* last = text.data() + text.size();
  if (*first == '+') ++first;
  const auto [end, error] = std::from_chars(first, last, count);
  return error == std::errc() && end == last;
}

std::string EditionKey() {
  constexpr char kParamFile[] = "..\\FIC01\\PARAM.DTA";
  if (!FileExists(kParamFile)) return {};
  std::vector<std::string> fields;
  SplitFields(ReadINIString(kParamFile, kComposants, "USER", ""), fields, 1);
  return fields.empty() ? std::string() : fields[0];
}

}  // namespace

TEnregistrer::TEnregistrer(HostBridge& host, BurnEngine& burning)
    : ui::Form("Enregistrer"), VortalBurner1(burning), VortalBurner2(burning), host_(host), burning_(burning) {
  Design();
  ConnectEvents();
  FormCreate();
}

TEnregistrer::~TEnregistrer() = default;

void TEnregistrer::FormCreate() {
  editionKey_ = EditionKey();
  firstDriveChange_ = true;
  graver_ = std::make_unique<TGraver>(burning_);
  const std::string cdDrive = ui::FirstCDDrive(ui::CurrentPresenter().Drives());
  cdDriveId_ = cdDrive.empty() ? "XX" : cdDrive;
  Label4.SetCaption("CD-Rom (" + cdDriveId_ + ")");
  backupFileName_ = editionKey_ == kTbqEdition ? "SauveTBQ.zip" : "SauveKVX.zip";
  sectionName_ = "Repertoire";
  DriveComboBox1.Refresh();  // its first change notification comes here, before the lists are loaded
  firstDriveChange_ = false;  // also when no current drive was there to select and notify
  // A list whose count is not a number leaves the lists as far as they were read.
  if (!LoadBackupList(sectionName_)) return;
  const std::string diskette = kDiskette + backupFileName_;
  if (!ComboBox1.Contains(diskette)) {
    ComboBox1.AddItem(diskette);
    ComboBox2.AddItem(diskette);
  }
  ComboBox1.SetText(diskette);
}

void TEnregistrer::FormShow() {
  if (editionKey_ != kTbqEdition) return;
  Label7.SetCaption("Sauvegarde TBQ");
  Label8.SetCaption("Restauration TBQ");
  for (ui::FileDialog* dialog : {&SaveDialog1, &OpenDialog1}) {
    dialog->Settings().fileName = "Sauvetbq.zip";
    dialog->Settings().filter = "Sauvetbq.zip|*.zip|Tous les fichiers|*.*";
  }
  ComboBox2.SetText(kDiskette + backupFileName_);
  ComboBox1.SetText(kDiskette + backupFileName_);
}

void TEnregistrer::FormClose(ui::CloseAction&) { SaveBackupList(sectionName_); }

// A count past any list a person keeps is damage: the person is told, and the list is
// read as far as it holds entries, within the bound.
bool TEnregistrer::LoadBackupList(const std::string& section) {
  ComboBox1.Clear();
  ComboBox2.Clear();
  int count = 0;
  const std::string countText = ReadINIString(kBackupListFile, section, "No", "0");
  if (!ReadCount(countText, count)) return false;
  const bool damaged = count < 0 || count > kMaxBackupEntries;
  if (damaged) {
    ui::ShowMessage("La liste des sauvegardes " + std::string(kBackupListFile) + " est endommagée (No=" +
                    countText + ") : seules les entrées présentes sont chargées.");
  }
  for (int i = 0; i < (damaged ? kMaxBackupEntries : count); ++i) {
    std::string entry = ReadINIString(kBackupListFile, section, std::to_string(i), kMissingEntry);
    if (entry == kMissingEntry) {
      if (damaged) break;
      entry.clear();
    }
    ComboBox1.AddItem(entry);
    ComboBox2.AddItem(entry);
    ListBox1.AddItem(entry);
  }
  return true;
}

bool TEnregistrer::SaveBackupList(const std::string& section) {
  int written = 0;
  for (const std::string& entry : ComboBox2.Items()) {
    if (entry.empty()) continue;
    if (!WriteINIString(kBackupListFile, section, std::to_string(written), entry)) return false;
    ++written;
  }
  return WriteINIString(kBackupListFile, section, "No", std::to_string(written));
}

void TEnregistrer::ChooseTarget(const std::string& target) {
  if (!ComboBox1.Contains(target)) {
    ComboBox1.AddItem(target);
    ComboBox2.AddItem(target);
  }
  ComboBox1.SetItemIndex(ComboBox1.IndexOf(target));
}

// A network drive is shown with its share, which then stands for the drive.
std::string TEnregistrer::DriveTarget() const {
  const std::string& shown = DriveComboBox1.Text();
  const size_t share = shown.find("\\\\");
  const std::string drive = share != std::string::npos ? shown.substr(share) : std::string{DriveComboBox1.Drive(), ':'};
  return drive + "\\" + backupFileName_;
}

std::optional<TEnregistrer::ActionScope> TEnregistrer::BeginAction() {
  if (Busy()) return std::nullopt;
  return std::optional<ActionScope>(std::in_place, acting_);
}

void TEnregistrer::BitBtn1Click() {
  if (!Busy()) ChooseTarget(kDiskette + backupFileName_);
}

void TEnregistrer::BitBtn2Click() {
  if (!Busy()) ChooseTarget(cdDriveId_ + "\\" + backupFileName_);
}

void TEnregistrer::BitBtn3Click() {
  if (!Busy() && DriveComboBox1.Drive()) ChooseTarget(DriveTarget());
}

void TEnregistrer::DriveComboBox1Change() {
  const bool first = firstDriveChange_;
  firstDriveChange_ = false;
  if (!DriveComboBox1.Drive()) return;
  const std::string target = DriveTarget();
  if (ComboBox1.Contains(target)) ComboBox1.SetItemIndex(ComboBox1.IndexOf(target));
  if (first) return;
  Label5.SetCaption(std::string("Lecteur ( ") + DriveComboBox1.Drive() + ": )");
  if (!ComboBox1.Contains(target)) ChooseTarget(target);
}

void TEnregistrer::BitBtn4Click() {
  if (Busy()) return;
  CurrentFolderGuard keep;
  SaveDialog1.Settings().initialDir = FolderPart(ComboBox1.Text());
  if (!SaveDialog1.Execute()) return;
  ComboBox1.AddItem(SaveDialog1.FileName());
  ComboBox1.SetItemIndex(ComboBox1.Count() - 1);
}

// Also the other tabs' "Quitter" buttons: the burn wizard goes with the form, once a
// write or blanking it still runs has ended in sight. A running search stops with the
// form; a backup or restore has to end first.
void TEnregistrer::BitBtn6Click() {
  if (acting_) return;
  if (graver_) graver_->ShowUntilIdle();
  Close();
  graver_.reset();
}

void TEnregistrer::BitBtn5Click() {
  const std::optional<ActionScope> action = BeginAction();
  if (!action) return;
  BitBtn5.SetEnabled(false);
  BitBtn6.SetEnabled(false);
  if (!ComboBox2.Contains(ComboBox1.Text())) ComboBox2.AddItem(ComboBox1.Text());
  Animate1.SetActive(true);
  Animate1.SetVisible(true);
  Label6.SetCaption("Sauvegarde en cours ...");
  Label6.Repaint();
  try {
    RunBackup();
  } catch (...) {
    Label6.SetCaption("Echec de la sauvegarde ! " + CurrentExceptionText());
  }
  Animate1.SetActive(false);
  Animate1.SetVisible(false);
  BitBtn5.SetEnabled(true);
  BitBtn6.SetEnabled(true);
}

// Makes the backup to the target of ComboBox1 and shows how it ended on the status line.
// Not while the application may change the data files, nor while a restore of that folder
// that a start could not settle leaves it half switched.
bool TEnregistrer::BackupAllowed(const std::string& dataFolder, const std::string& programFolder,
                                 std::string& refusal) const {
  if (VolmeraRuns()) {
    refusal = "Impossible de sauvegarder la base de données si Volmera est ouvert";
    return false;
  }
  return !RecoveryPending(programFolder, dataFolder, refusal);
}

void TEnregistrer::RunBackup() {
  CurrentFolderGuard keep;
  const std::string dataFolder = ReadFirstField(LocateParamFile(), "REPERTOIREF", kComposants);
  if (dataFolder.empty()) {
    Label6.SetCaption("Echec de la sauvegarde ! Erreur lors de la lecture de Param.dta");
    return;
  }
  const std::string folder = WithSeparator(TrimText(dataFolder, TrimMode::kTrailing));
  if (std::string refusal; !BackupAllowed(folder, WithSeparator(keep.Saved()), refusal)) {
    ui::ShowMessage("Echec de la sauvegarde !\r\n" + refusal);
    Label6.SetCaption("Echec de la sauvegarde !");
    return;
  }
  const std::string target = ComboBox1.Text();
  if (ASCIIUpper(DrivePart(target)) == cdDriveId_) {
    BackupToCD(folder);
    return;
  }
  if (!ArchiveDataFolder(target, folder, false)) {
    Label6.SetCaption("Echec de la sauvegarde !");
    return;
  }
  if (CheckBoxOuvDossier.Checked()) ui::ShowFolder(FolderPart(target));
  Label6.SetCaption("Sauvegarde réussie !");
}

// Zips what PATSAUVE.DTA names into the target; true when the toolbox found the new
// archive whole. Every problem (a file the library could not read, a failed check of the
// archive) fails the backup, whatever the library answered, and all of them are named to
// the person in one message.
bool TEnregistrer::ArchiveDataFolder(const std::string& target, const std::string& dataFolder, bool toCD) {
  std::vector<std::string> problems;
  const bool archived = ZipDataFolder(target, dataFolder, toCD, problems);
  if (problems.empty()) return archived;
  std::string text = "Echec de la sauvegarde !";
  for (const std::string& problem : problems) text += "\r\n" + problem;
  ui::ShowMessage(text);
  return false;
}

// The data folder is current so that the list's relative entries are taken there. The
// staging archive of a CD backup is made without the progress window. Diskettes are
// written in place (the library empties them): not while the application may change the
// data files.
bool TEnregistrer::ZipDataFolder(const std::string& target, std::string dataFolder, bool toCD,
                                 std::vector<std::string>& problems) {
  CurrentFolderGuard keep;
  if (!SetCurrentFolder(dataFolder)) return false;
  const std::string list = "@" + dataFolder + "PATSAUVE.DTA";
  if (toCD) return ZipArchive(host_, target, list, 0, true, &problems);
  if (target.find(kDiskette) != std::string::npos)
    return ZipArchive(host_, target, list, kDisketteVolumes, false, &problems);

  host_.OpenWindow("FEN_Progress.wdw", VerbCase::kCapitalised);
  ui::CurrentPresenter().BringWindowToFront(host_.WindowHandle("FEN_Progress"));
  host_.Multitask(-1, VerbCase::kCapitalised);
  CopyFolder(ShortPath("..\\TRAMES"), dataFolder);
  const bool archived = ZipArchive(host_, target, list, 0, true, &problems);
  host_.CloseWindow();
  ui::CurrentPresenter().BringToFront(*this);
  return archived;
}

}  // namespace kvx
