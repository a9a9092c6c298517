// The backup tab's CD branch: the data folder is zipped into a staging archive (on C:),
// which is then burned through the shell's CD writing service (the "XP assistant") or
// with the program's own burn wizard.
#include <exception>

#include "ui/dialogs.h"
#include "wizard/cd_backup.h"
#include "wizard/enregistrer.h"

namespace kvx {
namespace {

constexpr char kAskXpAssistant[] = "     Voulez-vous utiliser l'assistant XP ?     ";
constexpr char kXpAssistantFailed[] =
    "Cet assistant ne fonctionne que pour les versions XP\t voulez-vous continuez la sauvegarde sur CD-Rom";

}  // namespace

std::string TEnregistrer::StagingArchive() const { return StagingFolder() + backupFileName_; }

// A failed compression burns nothing: the staging archive would be missing or stale.
std::string TEnregistrer::BackupToCD(const std::string& dataFolder) {
  if (!ArchiveDataFolder(StagingArchive(), dataFolder, true)) return "Echec de la sauvegarde !";
  BurnStagingArchive();
  return Label6.Caption();
}

// A shell route that cannot start is told to the user, who may then take the burn wizard.
void TEnregistrer::BurnStagingArchive() {
  if (WindowsXPOrLater() && ui::Confirm(kAskXpAssistant)) {
    std::string failure;
    try {
      failure = BurnWithShell();
    } catch (const std::exception& error) {
      failure = error.what();
    }
    if (failure.empty()) return;
    ui::ShowMessage("L'assistant XP ne peut pas graver " + StagingArchive() + " : " + failure);
    if (!ui::Confirm(kXpAssistantFailed)) return;
  }
  BurnWithWizard();
}

bool TEnregistrer::WindowsXPOrLater() const { return IsWindowsXPOrLater(); }

// Only today's archive goes to the disc: the staging area is emptied of what an earlier
// burn left, and the archive copied in before the burn starts. Nothing answers the end
// of the burn: the shell's own wizard reports to the user.
std::string TEnregistrer::BurnWithShell() {
  Label6.SetCaption("Debut de la gravure");
  Label6.Repaint();
  const bool staged = CDBurner1.Equipped() && CDBurner1.ClearFiles() && CDBurner1.StageFile(StagingArchive());
  if (staged) CDBurner1.StartBurn();
  Label6.SetCaption("");
  Repaint();
  return staged ? std::string() : CDBurner1.LastError();
}

void TEnregistrer::BurnWithWizard() {
  if (!graver_) graver_ = std::make_unique<TGraver>(burning_);
  graver_->SetArchive(StagingArchive());
  graver_->ShowModal();
  Label6.SetCaption("");
  Repaint();
}

}  // namespace kvx
