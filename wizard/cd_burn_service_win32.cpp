// The shell's CD writing service: ICDBurn of the class the shell registers, and the
// staging folder (the CD burning special folder) it burns from, and where a backup to CD
// is zipped.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>

#include "base/cp1252.h"
#include "base/win32_scope.h"
#include "wizard/cd_backup.h"
#include "wizard/cd_burner.h"

namespace kvx {
namespace {

constexpr int kCDBurnArea = 59;  // CSIDL_CDBURN_AREA
constexpr char kNoService[] = "No XP Compatible CDR API present";

std::string SystemMessage(HRESULT result) {
  win32::ScopedLocalMem<wchar_t*> text;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(text.put()), 0, nullptr);
  std::u16string message = text ? std::u16string(reinterpret_cast<const char16_t*>(text.get())) : u"";
  while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' || message.back() == u' '))
    message.pop_back();
  if (!message.empty()) return UTF16ToCP1252(message);
  // No system text for the code: the runtime's own wording for COM errors.
  char code[32];
  std::snprintf(code, sizeof code, "OLE error %.8lX", static_cast<unsigned long>(result));
  return code;
}

win32::ComPtr<ICDBurn> CreateCDBurn(HRESULT& result) {
  win32::ComPtr<ICDBurn> burn;
  result = CoCreateInstance(CLSID_CDBurn, nullptr, CLSCTX_INPROC_SERVER, IID_ICDBurn, reinterpret_cast<void**>(burn.put()));
  if (FAILED(result)) burn.reset();
  return burn;
}

class ShellCDBurnService final : public CDBurnService {
 public:
  bool Open(std::string& error) override {
    HRESULT result = S_OK;
    burn_ = CreateCDBurn(result);
    if (!burn_) error = SystemMessage(result);
    return static_cast<bool>(burn_);
  }

  bool HasRecordableDrive() override {
    BOOL has = FALSE;
    return burn_ && SUCCEEDED(burn_->HasRecordableDrive(&has)) && has;
  }

  std::string RecorderDriveLetter() override {
    wchar_t drive[4] = {};
    if (!burn_ || FAILED(burn_->GetRecorderDriveLetter(drive, 4))) return {};
    return UTF16ToCP1252(reinterpret_cast<const char16_t*>(drive));
  }

  // The worker makes its own object in its own apartment and releases it there, so
  // nothing crosses threads.
  WorkerBurnFunction WorkerBurn() override {
    return [](intptr_t ownerWindow, std::string& error) {
      const win32::ComApartment apartment;
      HRESULT result = S_OK;
      const win32::ComPtr<ICDBurn> burn = CreateCDBurn(result);
      if (!burn) {
        error = std::string(kNoService) + SystemMessage(result);
        return false;
      }
      result = burn->Burn(reinterpret_cast<HWND>(ownerWindow));
      if (FAILED(result)) error = SystemMessage(result);
      return SUCCEEDED(result);
    };
  }

 private:
  win32::ComApartment apartment_;  // the GUI thread's, for the object held from creation on
  win32::ComPtr<ICDBurn> burn_;
};

}  // namespace

std::unique_ptr<CDBurnService> MakeShellCDBurnService() { return std::make_unique<ShellCDBurnService>(); }

std::string ShellStagingFolder() {
  win32::ScopedCoTaskMem<LPITEMIDLIST> location;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, kCDBurnArea, location.put())) || !location) return {};
  wchar_t path[MAX_PATH] = {};
  const bool converted = SHGetPathFromIDListW(location.get(), path);
  return converted ? UTF16ToCP1252(reinterpret_cast<const char16_t*>(path)) : std::string();
}

TCDBurner::TCDBurner(ui::Component* owner, std::string name)
    : TCDBurner(owner, std::move(name), MakeShellCDBurnService(), ShellStagingFolder()) {}

std::string StagingFolder() { return "C:\\"; }

}  // namespace kvx
