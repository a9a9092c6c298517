// The backup tab's CD branch: the data folder is zipped into a staging archive on C:,
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

// A failed compression burns nothing: the staging archive would be missing or stale.
std::string TEnregistrer::BackupToCd(const std::string& dataFolder) {
  if (!ArchiveDataFolder(StagingArchive(), dataFolder, true)) return "Echec de la sauvegarde !";
  BurnStagingArchive();
  return Label6.Caption();
}

void TEnregistrer::BurnStagingArchive() {
  if (WindowsXPOrLater() && ui::Confirm(kAskXpAssistant)) {
    try {
      BurnWithShell();
      return;
    } catch (const std::exception&) {
      if (!ui::Confirm(kXpAssistantFailed)) return;
    }
  }
  BurnWithWizard();
}

bool TEnregistrer::WindowsXPOrLater() const { return IsWindowsXPOrLater(); }

// Nothing answers the end of the burn: the shell's own wizard reports to the user.
void TEnregistrer::BurnWithShell() {
  Label6.SetCaption("Debut de la gravure");
  Label6.Repaint();
  CDBurner1.AppendToFileList(StagingArchive());
  CDBurner1.StartBurn();
  Label6.SetCaption("");
  Repaint();
}

void TEnregistrer::BurnWithWizard() {
  if (!graver_) graver_ = std::make_unique<TGraver>();
  graver_->SetArchive(StagingArchive());
  graver_->ShowModal();
  Label6.SetCaption("");
  Repaint();
}

}  // namespace kvx
