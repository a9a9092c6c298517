// The menu's two wizard actions: the backup/restore wizard on its backup or restore page.
#pragma once

namespace kvx {

void OpenBackupWizard();   // B01
void OpenRestoreWizard();  // B02

}  // namespace kvx
