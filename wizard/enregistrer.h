// TEnregistrer, the backup and restore wizard: the backup tab (where a backup goes and
// making it), the restore tab (restoring an archive after a dated safety copy) and the
// options tab (searching a drive for backups, editing the list of known backups).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wizard/graver.h"
#include "burner/vortal_burner.h"
#include "ui/buttons.h"
#include "ui/components.h"
#include "ui/containers.h"
#include "ui/form.h"
#include "ui/indicators.h"
#include "ui/list_controls.h"
#include "ui/text_controls.h"
#include "wizard/cd_burner.h"

namespace kvx {

class BurnEngine;
class HostBridge;
class TRoutine;

class TEnregistrer : public ui::Form {
 public:
  // host: the program's link to the host; burning: its engine, for the burn wizard.
  TEnregistrer(HostBridge& host, BurnEngine& burning);
  ~TEnregistrer() override;

  // The backup archive's name in this edition: "SauveKVX.zip" or "SauveTBQ.zip".
  const std::string& BackupFileName() const { return backupFileName_; }
  // Letter and colon of the CD drive that CD targets are written on, "XX" when the system has none.
  const std::string& CDDriveId() const { return cdDriveId_; }
  // True while a backup search runs.
  bool Searching() const { return routine_ != nullptr; }
  // True while a backup, a restore or a search runs. The host's message pump keeps
  // delivering clicks meanwhile: every handler that would start something refuses.
  bool Busy() const { return acting_ || Searching(); }
  // Where a backup to CD is zipped before it is burned: the staging folder ("C:\" on
  // Windows) + the backup file name.
  std::string StagingArchive() const;
  // The burn wizard, from the form's creation until a "Quitter" button has closed the form.
  TGraver* Graver() const { return graver_.get(); }

  // The backup list file's section into ComboBox1, ComboBox2 and ListBox1; false when
  // its count is not a number. Saving writes the non-empty entries of ComboBox2.
  bool LoadBackupList(const std::string& section);
  bool SaveBackupList(const std::string& section);

  // Events, named after the control and the event.
  void FormCreate();
  void FormShow();
  void FormClose(ui::CloseAction& action);
  void BitBtn1Click();
  void BitBtn2Click();
  void BitBtn3Click();
  void DriveComboBox1Change();
  void BitBtn4Click();
  void BitBtn5Click();
  void BitBtn6Click();
  void BitBtn7Click();
  void ListBox1Click();
  void ListBox1DblClick();
  void BitBtn9Click();
  void Timer1Timer();
  void TabSheet3Show();
  void BitBtn10Click();
  void BitBtn11Click();
  void BitBtn12Click();
  void BitBtn13Click();
  void ListBox2DblClick();

  ui::Image Image1{this, "Image1"};
  ui::PageControl PageControl1{this, "PageControl1"};

  ui::TabSheet TabSheet1{&PageControl1, "TabSheet1"};
  ui::Label Label7{&TabSheet1, "Label7"};
  ui::GroupBox GroupBox1{&TabSheet1, "GroupBox1"};
  ui::Button BitBtn1{&GroupBox1, "BitBtn1"};
  ui::Label Label3{&GroupBox1, "Label3"};
  ui::Button BitBtn2{&GroupBox1, "BitBtn2"};
  ui::Label Label4{&GroupBox1, "Label4"};
  ui::Panel Panel1{&GroupBox1, "Panel1"};
  ui::Button BitBtn3{&Panel1, "BitBtn3"};
  ui::Label Label5{&Panel1, "Label5"};
  ui::DriveComboBox DriveComboBox1{&Panel1, "DriveComboBox1"};
  ui::Label Label2{&GroupBox1, "Label2"};
  ui::Label Label1{&TabSheet1, "Label1"};
  ui::ComboBox ComboBox1{&TabSheet1, "ComboBox1"};
  ui::Button BitBtn4{&TabSheet1, "BitBtn4"};
  ui::CheckBox CheckBoxOuvDossier{&TabSheet1, "CheckBoxOuvDossier"};
  ui::Label Label6{&TabSheet1, "Label6"};
  ui::Animate Animate1{&TabSheet1, "Animate1"};
  ui::Button BitBtn5{&TabSheet1, "BitBtn5"};
  ui::Button BitBtn6{&TabSheet1, "BitBtn6"};

  ui::TabSheet TabSheet2{&PageControl1, "TabSheet2"};
  ui::Label Label8{&TabSheet2, "Label8"};
  ui::GroupBox GroupBox2{&TabSheet2, "GroupBox2"};
  ui::ListBox ListBox1{&GroupBox2, "ListBox1"};
  ui::Label Label10{&TabSheet2, "Label10"};
  ui::Edit Edit1{&TabSheet2, "Edit1"};
  ui::Button BitBtn9{&TabSheet2, "BitBtn9"};
  ui::Label Label9{&TabSheet2, "Label9"};
  ui::Gauge Gauge1{&TabSheet2, "Gauge1"};
  ui::Button BitBtn7{&TabSheet2, "BitBtn7"};
  ui::Button BitBtn8{&TabSheet2, "BitBtn8"};

  ui::TabSheet TabSheet3{&PageControl1, "TabSheet3"};
  ui::GroupBox GroupBox3{&TabSheet3, "GroupBox3"};
  ui::Label Label11{&GroupBox3, "Label11"};
  ui::Edit Edit2{&GroupBox3, "Edit2"};
  ui::Button BitBtn12{&GroupBox3, "BitBtn12"};
  ui::ListBox ListBox2{&GroupBox3, "ListBox2"};
  ui::Button BitBtn13{&GroupBox3, "BitBtn13"};
  ui::Label Label12{&GroupBox3, "Label12"};
  ui::GroupBox GroupBox4{&TabSheet3, "GroupBox4"};
  ui::ComboBox ComboBox2{&GroupBox4, "ComboBox2"};
  ui::Button BitBtn10{&GroupBox4, "BitBtn10"};
  ui::Button BitBtn11{&GroupBox4, "BitBtn11"};
  ui::Button BitBtn14{&TabSheet3, "BitBtn14"};

  ui::FileDialog SaveDialog1{this, "SaveDialog1", true};
  ui::FileDialog OpenDialog1{this, "OpenDialog1", false};
  ui::Timer Timer1{this, "Timer1"};
  ui::PopupMenu PopupMenu1{this, "PopupMenu1"};
  TCDBurner CDBurner1{this, "CDBurner1"};
  TVortalBurner VortalBurner1;
  TVortalBurner VortalBurner2;

 protected:
  // The CD branch's ways to the disc and the system question that chooses between them.
  virtual bool WindowsXPOrLater() const;
  // Burns the staging archive through the shell's CD writing service; the burn goes on
  // on the component's thread. True when it started, else false with why it could not.
  virtual bool BurnWithShell(std::string& error);
  // Burns the staging archive with the burn wizard, shown modally.
  virtual void BurnWithWizard();

 private:
  // Marks a backup or restore as running for its lifetime.
  class ActionScope {
   public:
    explicit ActionScope(bool& acting) : acting_(acting) { acting_ = true; }
    ~ActionScope() { acting_ = false; }
    ActionScope(const ActionScope&) = delete;
    ActionScope& operator=(const ActionScope&) = delete;

   private:
    bool& acting_;
  };
  // An action scope, or nothing when another action runs.
  std::optional<ActionScope> BeginAction();

  void Design();
  void DesignBackupTab();
  void DesignRestoreTab();
  void DesignOptionsTab();
  void DesignNonVisualParts();
  void ConnectEvents();
  // Makes target the text of ComboBox1, adding it to both target lists when new.
  void ChooseTarget(const std::string& target);
  std::string DriveTarget() const;
  // Each ends with how it went on its tab's status line.
  bool BackupAllowed(const std::string& dataFolder, const std::string& programFolder, std::string& refusal) const;
  void RunBackup();
  bool ArchiveDataFolder(const std::string& target, const std::string& dataFolder, bool toCD);
  bool ZipDataFolder(const std::string& target, std::string dataFolder, bool toCD, std::vector<std::string>& problems);
  // Zips the data folder into the staging archive and burns it.
  void BackupToCD(const std::string& dataFolder);
  void BurnStagingArchive();
  // The end of a shell burn: its outcome on the status line, a failure also told.
  void CDBurner1BurnDone(int32_t result);
  void RunRestore();
  void EndSearch();

  HostBridge& host_;
  BurnEngine& burning_;
  std::string editionKey_;
  std::string backupFileName_ = "SauveKVX.zip";
  std::string cdDriveId_ = "XX";
  std::string sectionName_ = "Repertoire";
  bool firstDriveChange_ = true;
  bool acting_ = false;
  std::unique_ptr<TGraver> graver_;
  OwnedThread<TRoutine> routine_;  // last member: stopped before the controls go
};

}  // namespace kvx
