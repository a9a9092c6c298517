// KVXCDBURN.DLL: an in-process COM server for the shell's CD writing class
// ({FBEB8A05-BEEE-4442-804E-409D6C4515E9}, interface ICDBurn), registered only in the
// test wine prefix. The recorder and the disc are configured by the environment:
//   KVXCDBURN_DRIVE  the recorder's drive ("E:\"); unset or empty: no recorder
//   KVXCDBURN_DISC   a folder that stands for the disc: Burn copies the staging
//                    area into it, then empties the staging area as the shell does
//   KVXCDBURN_LOG    a file that receives one line per call
//   KVXCDBURN_FAIL   an HRESULT in hexadecimal that Burn returns instead of burning
//   KVXCDBURN_FAULTS ";"-separated damage=NAME (the file reaches the disc with its first
//                    byte altered) and lose=NAME (it does not reach the disc)
#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <atomic>
#include <cwchar>
#include <string>

#include "base/exception_text.h"
#include "base/win32_scope.h"

namespace {

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
HMODULE g_module = nullptr;

constexpr wchar_t kClassKey[] = L"CLSID\\{FBEB8A05-BEEE-4442-804E-409D6C4515E9}";

std::wstring Environment(const wchar_t* name) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(name, buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

void Log(const std::string& line) {
  const std::wstring path = Environment(L"KVXCDBURN_LOG");
  if (path.empty()) return;
  const kvx::win32::ScopedHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// No exception may leave the server into the shell's or the toolbox's frames: a call
// that throws answers `failure`, the reason going to the debugger's output.
template <typename Work>
HRESULT Guarded(HRESULT failure, Work&& work) noexcept {
  try {
    return work();
  } catch (...) {
    try {
      OutputDebugStringA(("KVXCDBURN: " + kvx::CurrentExceptionText() + "\n").c_str());
    } catch (...) {  // no memory for the line
    }
    return failure;
  }
}

std::wstring StagingArea() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_CDBURN_AREA | CSIDL_FLAG_CREATE, nullptr, 0, path))) return {};
  return path;
}

// Whether KVXCDBURN_FAULTS holds kind=name (the name's letter case ignored).
bool HasFault(const std::wstring& kind, const std::wstring& name) {
  const std::wstring faults = Environment(L"KVXCDBURN_FAULTS") + L";";
  for (size_t start = 0, end; (end = faults.find(L';', start)) != std::wstring::npos; start = end + 1) {
    const std::wstring entry = faults.substr(start, end - start);
    const size_t equals = entry.find(L'=');
    if (equals != std::wstring::npos && entry.substr(0, equals) == kind &&
        _wcsicmp(entry.c_str() + equals + 1, name.c_str()) == 0)
      return true;
  }
  return false;
}

// A damaged copy: its first byte inverted.
void Damage(const std::wstring& path) {
  const kvx::win32::ScopedHandle file(
      CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  unsigned char first = 0;
  DWORD done = 0;
  if (!file || !ReadFile(file.get(), &first, 1, &done, nullptr) || done != 1) return;
  first = static_cast<unsigned char>(~first);
  SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
  WriteFile(file.get(), &first, 1, &done, nullptr);
}

// Moves every entry of one folder into another, folders included; the faults apply to
// the files by name.
void TransferFolder(const std::wstring& from, const std::wstring& to) {
  CreateDirectoryW(to.c_str(), nullptr);
  WIN32_FIND_DATAW data;
  const kvx::win32::ScopedFind find(FindFirstFileW((from + L"\\*").c_str(), &data));
  if (!find) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring source = from + L"\\" + name, target = to + L"\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      TransferFolder(source, target);
      RemoveDirectoryW(source.c_str());
    } else if (HasFault(L"lose", name)) {
      DeleteFileW(source.c_str());
    } else {
      MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
      if (HasFault(L"damage", name)) Damage(target);
    }
  } while (FindNextFileW(find.get(), &data));
}

class CDBurnStandIn final : public ICDBurn {
 public:
  CDBurnStandIn() { ++g_objects; }
  ~CDBurnStandIn() { --g_objects; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ICDBurn) {
      *out = static_cast<ICDBurn*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetRecorderDriveLetter(LPWSTR drive, UINT capacity) override {
    return Guarded(E_FAIL, [&]() -> HRESULT {
      Log("GetRecorderDriveLetter " + std::to_string(capacity));
      const std::wstring letter = Environment(L"KVXCDBURN_DRIVE");
      if (!drive || capacity == 0) return E_INVALIDARG;
      if (letter.empty()) return E_FAIL;
      lstrcpynW(drive, letter.c_str(), static_cast<int>(capacity));
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE Burn(HWND owner) override {
    return Guarded(E_FAIL, [&]() -> HRESULT {
      Log(std::string("Burn ") + (owner && IsWindow(owner) ? "window" : "no-window"));
      const std::wstring disc = Environment(L"KVXCDBURN_DISC");
      const std::wstring staging = StagingArea();
      if (disc.empty() || staging.empty() || Environment(L"KVXCDBURN_DRIVE").empty()) return E_FAIL;
      if (const std::wstring failure = Environment(L"KVXCDBURN_FAIL"); !failure.empty())
        return static_cast<HRESULT>(std::wcstoul(failure.c_str(), nullptr, 16));
      TransferFolder(staging, disc);  // the disc gets the files, the staging area is left empty
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE HasRecordableDrive(BOOL* hasRecorder) override {
    return Guarded(E_FAIL, [&]() -> HRESULT {
      Log("HasRecordableDrive");
      if (!hasRecorder) return E_POINTER;
      *hasRecorder = Environment(L"KVXCDBURN_DRIVE").empty() ? FALSE : TRUE;
      return S_OK;
    });
  }

 private:
  std::atomic<ULONG> refs_{1};
};

class ClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    return Guarded(E_OUTOFMEMORY, [&]() -> HRESULT {
      if (outer) return CLASS_E_NOAGGREGATION;
      auto* object = new CDBurnStandIn;
      const HRESULT result = object->QueryInterface(iid, out);
      object->Release();
      return result;
    });
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    lock ? ++g_locks : --g_locks;
    return S_OK;
  }
};

ClassFactory g_factory;

bool SetKeyValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  kvx::win32::ScopedRegistryKey handle;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, handle.put(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  return RegSetValueExW(handle.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (clsid != CLSID_CDBurn) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE;
}

// Registers the class, apartment-threaded like the shell's own,
// and creates the staging area the shell keeps for CD writing.
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
  return Guarded(SELFREG_E_CLASS, [&]() -> HRESULT {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(g_module, path, MAX_PATH);
    const std::wstring server = std::wstring(kClassKey) + L"\\InprocServer32";
    if (!SetKeyValue(kClassKey, nullptr, L"CD Burning (stand-in)") || !SetKeyValue(server, nullptr, path) ||
        !SetKeyValue(server, L"ThreadingModel", L"Apartment"))
      return SELFREG_E_CLASS;
    StagingArea();
    return S_OK;
  });
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
  return S_OK;
}
