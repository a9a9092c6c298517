// The backup tab's CD branch: the data folder is zipped into a staging archive (on C:),
// which is then burned through the shell's CD writing service (the "XP assistant") or
// with the program's own burn wizard.
#include "base/exception_text.h"
#include "ui/dialogs.h"
#include "wizard/cd_backup.h"
#include "wizard/enregistrer.h"

namespace kvx {
namespace {

constexpr char kAskXpAssistant[] = "     Voulez-vous utiliser l'assistant XP ?     ";
constexpr char kXpAssistantFailed[] =
    "Cet assistant ne fonctionne que pour les versions XP\t voulez-vous continuez la sauvegarde sur CD-Rom";
constexpr char kShellBurning[] = "Gravure en cours ...";
constexpr char kShellBurned[] = "Gravure réussie !";
constexpr char kShellBurnFailed[] = "Echec de la gravure : ";

}  // namespace

std::string TEnregistrer::StagingArchive() const { return StagingFolder() + backupFileName_; }

// A failed compression burns nothing: the staging archive would be missing or stale.
void TEnregistrer::BackupToCD(const std::string& dataFolder) {
  if (ArchiveDataFolder(StagingArchive(), dataFolder, true))
    BurnStagingArchive();
  else
    Label6.SetCaption("Echec de la sauvegarde !");
}

// A shell route that cannot start is told to the user, who may then take the burn wizard.
void TEnregistrer::BurnStagingArchive() {
  if (WindowsXPOrLater() && ui::Confirm(kAskXpAssistant)) {
    std::string failure;
    try {
      if (BurnWithShell(failure)) return;
    } catch (...) {
      failure = CurrentExceptionText();
    }
    ui::ShowMessage("L'assistant XP ne peut pas graver " + StagingArchive() + " : " + failure);
    if (!ui::Confirm(kXpAssistantFailed)) return;
  }
  BurnWithWizard();
}

bool TEnregistrer::WindowsXPOrLater() const { return IsWindowsXPOrLater(); }

// Only today's archive goes to the disc: the staging area is emptied of what an earlier
// burn left, and the archive copied in before the burn starts. The status line says the
// burn runs until the service's result replaces it.
bool TEnregistrer::BurnWithShell(std::string& error) {
  Label6.SetCaption("Debut de la gravure");
  Label6.Repaint();
  const bool staged = CDBurner1.Equipped() && CDBurner1.ClearFiles() && CDBurner1.StageFile(StagingArchive());
  if (staged) CDBurner1.StartBurn();
  Label6.SetCaption(CDBurner1.IsBurning() ? kShellBurning : "");
  Repaint();
  if (!staged) error = CDBurner1.LastError();
  return staged;
}

void TEnregistrer::CDBurner1BurnDone(int32_t result) {
  if (result == 0) {
    Label6.SetCaption(kShellBurned);
    return;
  }
  Label6.SetCaption(kShellBurnFailed + CDBurner1.LastError());
  ui::ShowMessage("L'assistant XP n'a pas gravé " + StagingArchive() + " : " + CDBurner1.LastError());
}

void TEnregistrer::BurnWithWizard() {
  if (!graver_) graver_ = std::make_unique<TGraver>(burning_);
  graver_->SetArchive(StagingArchive());
  graver_->ShowModal();
  Label6.SetCaption("");
  Repaint();
}

}  // namespace kvx
