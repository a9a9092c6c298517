// The burn wizard's handlers: unit choice, burning the archive and reading it back,
// progress, erasing, cancelling and ejecting. The burner's events come from its writer
// and blanking threads; their effects are carried out on the GUI thread.
#include "wizard/graver.h"

#include "base/file_search.h"
#include "base/local_time.h"
#include "burner/stream_ex.h"

namespace kvx {
namespace {

// What the wizard needs from a unit to offer a burn: writing CD-R, DVD-R or DVD-RAM.
constexpr uint32_t kBurnableMedia = scsi::capability::kWriteCDR | scsi::capability::kWriteDVDR |
                                    scsi::capability::kWriteDVDRAM;

std::string WriteFailedLine(const std::string& error) {
  return ">>> Gravage en erreur, " + error + "      " + CurrentTimeText();
}

std::string EraseEndLine(bool withError, const std::string& error) {
  if (!withError) return ">>> Effacement réussi ! " + CurrentTimeText();
  if (error == scsi::kEraseStoppedText)
    return ">>> Effacement arrêté ! Le disque reste dans l'état où le lecteur l'a laissé. " + CurrentTimeText();
  return ">>> Effacement réalisé avec erreur ! " + error + "      " + CurrentTimeText();
}

}  // namespace

TGraver::TGraver(BurnEngine& engine, std::string archive)
    : ui::Form("Graver"), archive_(std::move(archive)), guiThread_(std::this_thread::get_id()), vtbr(engine) {
  Design();
  ConnectEvents();
  FormCreate();
}

void TGraver::Add(const std::string& line) { Memo1.AddLine(line); }

void TGraver::OnGUIThread(ui::Task work) {
  if (std::this_thread::get_id() == guiThread_)
    work();
  else
    Post(std::move(work));
}

// Whether a writer or blanking thread owns the unit now.
bool TGraver::UnitBusy() const { return vtbr.Writing() || vtbr.Erasing(); }

void TGraver::EnableBurnFor(uint32_t capabilities) { BBurn.SetEnabled((capabilities & kBurnableMedia) != 0); }

void TGraver::FormCreate() {
  vtbr.SetReadSpeed(vtbr.GetMaxReadSpeed());
  vtbr.SetWriteSpeed(vtbr.GetMaxWriteSpeed());
  finalizing_ = false;
}

void TGraver::FormShow() {
  // A write or blanking still ending owns the unit and the transport: the form comes
  // back as it was left, and its end is logged as usual.
  if (UnitBusy()) return;
  Memo1.Clear();
  vtbr.InitializeASPI(false);
  if (!vtbr.ASPIInitialized()) {
    BBurn.SetEnabled(false);
    Add(">>> Erreur lors de l'initialisation ASPI" + CurrentTimeText());
    return;
  }
  if (!vtbr.Devices().empty()) EnableBurnFor(vtbr.Capabilities());
  cbdrives.SetItems(vtbr.Devices());
  if (cbdrives.Count() > 0) {
    cbdrives.SetItemIndex(0);
    cbdrivesChange();
  }
}

void TGraver::FormClose(ui::CloseAction& action) { action = ui::CloseAction::Hide; }

void TGraver::cbdrivesChange() {
  // The running write or blanking keeps its unit: the choice goes back to it.
  if (UnitBusy()) {
    cbdrives.SetItemIndex(cbdrives.IndexOf(vtbr.Device()));
    return;
  }
  vtbr.SetDevice(cbdrives.Text());
  EnableBurnFor(vtbr.Capabilities());
  Add(">>> Sélection du lecteur " + vtbr.DeviceDescription());
}

void TGraver::BBurnClick() {
  // A blanking unit is not ready for a write (and its thread owns it meanwhile).
  if (vtbr.Erasing() || !vtbr.TestUnitReady(5000)) {
    Add(">>> Le périphérique n'est pas prêt !");
    return;
  }
  vtbr.ResetImage(kDefaultMaxFiles, kDefaultMaxDirectories);
  // The disc names the backup and carries the day it was made.
  vtbr.SetIdVolume(kBackupVolumeLabel);
  vtbr.SetDateCreation(EncodeDateTime(LocalNow().Local));
  vtbr.SetDateModification(vtbr.DateCreation());
  // Without its archive the disc would get an empty track, reported as a success.
  if (vtbr.AddFile("\\", archive_, false) != AddFileResult::Found) {
    Add(WriteFailedLine(FileOpenErrorText(archive_)));
    return;
  }
  vtbr.BuildImage(false);
  // Asked before the writer thread owns the unit.
  const uint16_t speed = vtbr.GetMaxWriteSpeed();
  if (!vtbr.StartBurn()) return;  // its OnWriteDone has logged why
  Button1.SetEnabled(false);
  BBurn.SetEnabled(false);
  Timer2.SetEnabled(true);
  Gauge1.SetMaxValue(vtbr.GetTrackSize());
  Add(">>> Préparation du fichier \"" + FileNamePart(archive_) + "\"");
  Add(">>> Début du gravage " + CurrentTimeText());
  Add(">>> Vitesse de gravure X " + std::to_string(speed));
}

void TGraver::Timer2Timer() {
  if (verifying_)
    Gauge1.SetProgress(vtbr.BytesVerified() / 2048);
  else if (finalizing_)
    Gauge1.SetProgress(Gauge1.Progress() >= 99 ? 0 : Gauge1.Progress() + 1);
  else
    Gauge1.SetProgress(vtbr.BytesWritten() / 2048);
  Gauge1.Repaint();
}

void TGraver::vtbrFinalizingTrack(TVortalBurner*) {
  OnGUIThread([this] {
    Add(">>> Fermeture de la cession ... " + CurrentTimeText());
    finalizing_ = true;
  });
}

// The track is closed: the gauge now follows the sectors read back.
void TGraver::vtbrVerifying(TVortalBurner*) {
  OnGUIThread([this] {
    Add(">>> Vérification de la gravure ... " + CurrentTimeText());
    finalizing_ = false;
    verifying_ = true;
  });
}

void TGraver::vtbrWriteDone(TVortalBurner*, const std::string& error) {
  OnGUIThread([this, error] {
    Timer2.SetEnabled(false);
    Gauge1.SetProgress(0);
    Add(error.empty() ? ">>> Gravage réussi ! " + CurrentTimeText() : WriteFailedLine(error));
    if (CheckBox1.Checked()) EjectDisc();
    finalizing_ = false;
    verifying_ = false;
    Button1.SetEnabled(true);
    BBurn.SetEnabled(true);
    if (closeWhenIdle_) Close();
  });
}

void TGraver::EjectDisc() {
  vtbr.SynchronizeCache(300000, false);
  vtbr.PreventAllowRemoval(true);
  Add(vtbr.LoadEject(true) ? ">>> Cd-Rom ejecté !" : ">>> Le Cd-Rom be peut être ejecté !");
}

void TGraver::Button1Click() {
  // One blanking at a time: the running one keeps the unit and the progress.
  if (vtbr.Erasing()) return;
  Add(">>> Debut éffacement ! " + CurrentTimeText());
  Add(">>> Vitesse X " + std::to_string(vtbr.GetMaxWriteSpeed()));
  Timer1.SetEnabled(true);
  // A blanking that cannot start reports why through OnEraseDone at once.
  if (RadioButton1.Checked()) vtbr.Erase(scsi::BlankType::Minimal);
  if (RadioButton2.Checked()) vtbr.Erase(scsi::BlankType::WholeDisc);
}

void TGraver::Timer1Timer() { Gauge1.SetProgress(vtbr.EraseProgress()); }

void TGraver::vtbrEraseDone(scsi::TSCSIDevice*, bool withError, const std::string& error) {
  OnGUIThread([this, withError, error] {
    Add(EraseEndLine(withError, error));
    Timer1.SetEnabled(false);
    Gauge1.SetProgress(0);
    if (closeWhenIdle_) Close();
  });
}

void TGraver::ShowUntilIdle() {
  if (!UnitBusy()) return;
  closeWhenIdle_ = true;
  Add(">>> Fermeture à la fin de l'opération en cours (Annuler l'arrête) " + CurrentTimeText());
  ShowModal();
  closeWhenIdle_ = false;
}

void TGraver::CancelWrite() {
  Add(">>> Enregistrement annulé ! " + CurrentTimeText());
  vtbr.AbortWrite();
  finalizing_ = false;
  verifying_ = false;
  // A write that is still ending re-enables them through OnWriteDone: until then the
  // writer owns the unit.
  if (vtbr.Writing()) return;
  Button1.SetEnabled(true);
  BBurn.SetEnabled(true);
}

// During a blanking, Annuler stops following it: the unit finishes or abandons it on
// its own, and the disc is left as it ends up.
void TGraver::AnnulerClick() {
  if (!vtbr.Erasing()) return CancelWrite();
  Add(">>> Arrêt de l'effacement demandé " + CurrentTimeText());
  vtbr.StopErase();
}

void TGraver::Button2Click() {
  if (Button1.Enabled()) {
    Close();
    return;
  }
  if (!ui::Confirm("Etes-vous sûr de vouloir annuler?")) return;
  CancelWrite();
  Close();
}

void TGraver::Button3Click() {
  if (GroupBox1.Visible()) {
    Button3.SetCaption("Option +");
    Memo1.SetWidth(640);
  } else {
    Button3.SetCaption("Option -");
    Memo1.SetWidth(449);
  }
  GroupBox1.SetVisible(!GroupBox1.Visible());
}

}  // namespace kvx
