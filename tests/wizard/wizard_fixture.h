// A wizard test in a fresh copy of the demo installation: the current folder is its
// OUTILS folder, the host stand-in runs in script mode with a transcript of its own,
// the backup list file starts missing, and forms run headless with scripted dialogs.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "burner/burn_engine.h"
#include "host/host_bridge.h"
#include "scsi/transport.h"
#include "ui/headless.h"

namespace kvx {

class WizardTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Windows path of something under the installation's root (APP\...).
  std::string AppPath(const std::string& relative) const;
  std::string DataPath(const std::string& name) const { return AppPath("FIC01\\" + name); }
  // Windows path under the test's own folder (beside APP).
  std::string WorkPath(const std::string& relative) const;

  std::vector<std::string> HostTranscript() const;
  // Lines of the tool log: program TAB arguments TAB folder.
  std::vector<std::string> ToolLog() const;
  std::string ReadFile(const std::string& path) const;
  void WriteFile(const std::string& path, const std::string& bytes) const;
  // The data files of the installation by name (the FIC01 folder, not recursing).
  std::map<std::string, std::string> DataFiles() const;

  std::string BackupListPath() const;
  void WriteBackupList(const std::string& content) const;
  std::string BackupListText() const;

  ui::HeadlessSession session_;
  // The program's objects, as KVXOUTIL.EXE makes them.
  HostBridge host_;
  scsi::SCSITransportHub transport_;
  BurnEngine burning_{transport_};

 private:
  std::filesystem::path work_;
  std::string savedFolder_;
};

// Sets (or with null, removes) a variable for this process and the programs it starts.
void SetEnvironment(const std::string& name, const char* value);
// A command line as the tool stand-in logs it: as given on Windows; natively split into
// arguments, its double quotes gone.
std::string ToolArguments(const std::string& commandLine);

// True when every expected line appears in lines in that order (others may come between).
bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected);
bool Contains(const std::vector<std::string>& lines, const std::string& line);

}  // namespace kvx
