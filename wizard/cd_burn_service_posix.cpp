// The shell's CD writing service where no shell provides one: it answers as a Windows
// without it does, its class not being registered. No Windows runs here, and a backup
// to CD is zipped in the temporary folder.
#include <filesystem>

#include "base/cp1252.h"
#include "wizard/cd_backup.h"
#include "wizard/cd_burner.h"

namespace kvx {
namespace {

constexpr char kClassNotRegistered[] = "Class not registered";  // the system's text for REGDB_E_CLASSNOTREG

class MissingCDBurnService final : public CDBurnService {
 public:
  bool Open(std::string& error) override {
    error = kClassNotRegistered;
    return false;
  }
  bool HasRecordableDrive() override { return false; }
  std::string RecorderDriveLetter() override { return {}; }
  WorkerBurnFunction WorkerBurn() override {
    return [](intptr_t, std::string& error) {
      error = kClassNotRegistered;
      return false;
    };
  }
};

}  // namespace

std::unique_ptr<CDBurnService> MakeShellCDBurnService() { return std::make_unique<MissingCDBurnService>(); }

// No staging folder without the service.
std::string ShellStagingFolder() { return {}; }

TCDBurner::TCDBurner(ui::Component* owner, std::string name)
    : TCDBurner(owner, std::move(name), MakeShellCDBurnService(), ShellStagingFolder()) {}

std::string StagingFolder() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  return error ? std::string("/tmp/") : UTF16ToCP1252(folder.u16string()) + "/";
}

}  // namespace kvx
