// TGraver, the burn wizard "Assistant gravage": burns the backup archive into the root
// of a CD or DVD with the burner component vtbr, reads the disc back to check it,
// erases rewritable discs and can eject the disc at the end. Progress and results are lines of its log memo. Created once by
// its caller and shown modally as often as needed; closing it only hides it.
#pragma once

#include <cstdint>
#include <string>
#include <thread>

#include "burner/vortal_burner.h"
#include "ui/buttons.h"
#include "ui/components.h"
#include "ui/containers.h"
#include "ui/form.h"
#include "ui/indicators.h"
#include "ui/list_controls.h"
#include "ui/text_controls.h"

namespace kvx {

// The archive a backup to CD stages on drive C: before it is burned.
inline constexpr char kDefaultBurnArchive[] = "c:\\SauveKVX.zip";
inline constexpr char kBackupVolumeLabel[] = "KVXSAUVE";

class TGraver : public ui::Form {
 public:
  // archive: the file burned into the disc's root (its caller's staging archive);
  // engine: the program's burning engine.
  explicit TGraver(BurnEngine& engine, std::string archive = kDefaultBurnArchive);

  const std::string& Archive() const { return archive_; }
  void SetArchive(std::string archive) { archive_ = std::move(archive); }
  // True from the closing of the track until the read-back begins, the write ends or
  // is cancelled.
  bool Finalizing() const { return finalizing_; }
  // True while the burned track is read back and compared, until the write ends or is
  // cancelled.
  bool Verifying() const { return verifying_; }
  // Before the form goes: a write or blanking still running is waited for in sight,
  // the form shown modally with a line saying so until it ends (Annuler stops it).
  void ShowUntilIdle();

  // Events, named after the control and the event. The burner's events may come from
  // its threads; what they do to the form is carried out on the GUI thread.
  void FormCreate();
  void FormShow();
  void FormClose(ui::CloseAction& action);
  void cbdrivesChange();
  void BBurnClick();
  void Timer2Timer();
  void vtbrFinalizingTrack(TVortalBurner* sender);
  void vtbrVerifying(TVortalBurner* sender);
  void vtbrWriteDone(TVortalBurner* sender, const std::string& error);
  void Button1Click();
  void Timer1Timer();
  void vtbrEraseDone(scsi::TSCSIDevice* sender, bool withError, const std::string& error);
  void AnnulerClick();
  void Button2Click();
  void Button3Click();

 private:
  // Declared before the burner, whose threads use them until it is gone.
  std::string archive_;
  bool finalizing_ = false;
  bool verifying_ = false;
  bool closeWhenIdle_ = false;
  std::thread::id guiThread_;

 public:
  ui::Image Image1{this, "Image1"};
  ui::Label Label7{this, "Label7"};
  ui::Label Label1{this, "Label1"};
  ui::ComboBox cbdrives{this, "cbdrives"};
  ui::Memo Memo1{this, "Memo1"};
  ui::GroupBox GroupBox1{this, "GroupBox1"};
  ui::RadioButton RadioButton1{&GroupBox1, "RadioButton1"};
  ui::RadioButton RadioButton2{&GroupBox1, "RadioButton2"};
  ui::Button Button1{&GroupBox1, "Button1"};
  ui::CheckBox CheckBox1{this, "CheckBox1"};
  ui::Button BBurn{this, "BBurn"};
  ui::Button Annuler{this, "Annuler"};
  ui::Button Button3{this, "Button3"};
  ui::Button Button2{this, "Button2"};
  ui::Gauge Gauge1{this, "Gauge1"};
  ui::Timer Timer1{this, "Timer1"};
  ui::Timer Timer2{this, "Timer2"};
  // Last member, so destroyed first: its destructor stops a running write and waits for
  // the writer and blanking threads, whose events come back into the whole form.
  TVortalBurner vtbr;

 private:
  void Design();
  void ConnectEvents();
  // Appends a line to the log.
  void Add(const std::string& line);
  // Runs work at once on the GUI thread, else hands it to the GUI thread.
  void OnGUIThread(ui::Task work);
  bool UnitBusy() const;
  // BBurn is offered for units that write CD-R, DVD-R or DVD-RAM.
  void EnableBurnFor(uint32_t capabilities);
  void EjectDisc();
  // Logs the cancel and asks the writer to stop.
  void CancelWrite();
};

}  // namespace kvx
