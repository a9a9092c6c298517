// The KVXCDBURN.DLL stand-in of the shell's CD writing class, registered and
// unregistered in the test prefix through its own entry points; unregistered at the end.
#pragma once

#include <windows.h>

#include "base/folders.h"

namespace kvx {

class ShellStandIn {
 public:
  ShellStandIn() : module_(LoadLibraryA((ProgramFolder() + "KVXCDBURN.DLL").c_str())) {}
  ~ShellStandIn() {
    Unregister();
    FreeLibrary(module_);
  }
  ShellStandIn(const ShellStandIn&) = delete;
  ShellStandIn& operator=(const ShellStandIn&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  bool Register() { return Call("DllRegisterServer") == S_OK; }
  bool Unregister() { return Call("DllUnregisterServer") == S_OK; }

 private:
  using ServerCall = HRESULT(__stdcall*)();
  HRESULT Call(const char* name) {
    auto call = reinterpret_cast<ServerCall>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    return call ? call() : E_FAIL;
  }
  HMODULE module_;
};

}  // namespace kvx
