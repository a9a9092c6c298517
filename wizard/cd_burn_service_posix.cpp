// The shell's CD writing service where no shell provides one: it answers as a Windows
// without it does, its class not being registered.
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
  std::function<std::string(intptr_t)> WorkerBurn() override {
    return [](intptr_t) { return std::string(kClassNotRegistered); };
  }
};

}  // namespace

std::unique_ptr<CDBurnService> MakeShellCDBurnService() { return std::make_unique<MissingCDBurnService>(); }

// No staging folder without the service.
std::string ShellStagingFolder() { return {}; }

TCDBurner::TCDBurner(ui::Component* owner, std::string name)
    : TCDBurner(owner, std::move(name), MakeShellCDBurnService(), ShellStagingFolder()) {}

}  // namespace kvx
