// The menu's two wizard actions: the backup/restore wizard on its backup or restore page.
#pragma once

namespace kvx {

class BurnEngine;
class HostBridge;

// Over the program's host link and burning engine.
void OpenBackupWizard(HostBridge& host, BurnEngine& burning);   // B01
void OpenRestoreWizard(HostBridge& host, BurnEngine& burning);  // B02

}  // namespace kvx
