// Owners of what the Win32 files open by hand: each closes its handle when it goes, so
// that no early return leaks one. Windows only: for the *_win32.cpp files.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace kvx::win32 {

// A handle of type Handle that Traits::Close releases; Traits::Valid tells a handle from
// "none" (some calls answer null, others INVALID_HANDLE_VALUE).
template <typename Traits>
class Scoped {
 public:
  using Handle = typename Traits::Handle;

  Scoped() = default;
  explicit Scoped(Handle handle) : handle_(handle) {}
  ~Scoped() { reset(); }
  Scoped(Scoped&& other) noexcept : handle_(other.release()) {}
  Scoped& operator=(Scoped&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return Traits::Valid(handle_); }
  // Gives the handle up without closing it.
  Handle release() { return std::exchange(handle_, Handle{}); }
  void reset(Handle handle = Handle{}) {
    const Handle old = std::exchange(handle_, handle);
    if (Traits::Valid(old)) Traits::Close(old);
  }
  // For calls that answer through a pointer: whatever was held is closed first.
  Handle* put() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_{};
};

struct KernelTraits {
  using Handle = HANDLE;
  static bool Valid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};

struct FindTraits {
  using Handle = HANDLE;
  static bool Valid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { FindClose(handle); }
};

struct RegistryKeyTraits {
  using Handle = HKEY;
  static bool Valid(HKEY key) { return key != nullptr; }
  static void Close(HKEY key) { RegCloseKey(key); }
};

template <typename Object>
struct GDITraits {
  using Handle = Object;
  static bool Valid(Object object) { return object != nullptr; }
  static void Close(Object object) { DeleteObject(object); }
};

// Module handles up to 31 are the old loader's error codes, not modules.
struct ModuleTraits {
  using Handle = HMODULE;
  static bool Valid(HMODULE module) { return reinterpret_cast<ULONG_PTR>(module) > 31; }
  static void Close(HMODULE module) { FreeLibrary(module); }
};

struct MenuTraits {
  using Handle = HMENU;
  static bool Valid(HMENU menu) { return menu != nullptr; }
  static void Close(HMENU menu) { DestroyMenu(menu); }
};

// A window the holder created; its child windows go with it.
struct WindowTraits {
  using Handle = HWND;
  static bool Valid(HWND window) { return window != nullptr; }
  static void Close(HWND window) { DestroyWindow(window); }
};

// Memory the shell and COM hand out (item id lists, strings).
template <typename Pointer>
struct CoTaskMemTraits {
  using Handle = Pointer;
  static bool Valid(Pointer memory) { return memory != nullptr; }
  static void Close(Pointer memory) { CoTaskMemFree(const_cast<void*>(static_cast<const void*>(memory))); }
};

// Memory FormatMessage allocates.
template <typename Pointer>
struct LocalMemTraits {
  using Handle = Pointer;
  static bool Valid(Pointer memory) { return memory != nullptr; }
  static void Close(Pointer memory) { LocalFree(reinterpret_cast<HLOCAL>(memory)); }
};

template <typename Interface>
struct ComTraits {
  using Handle = Interface*;
  static bool Valid(Interface* object) { return object != nullptr; }
  static void Close(Interface* object) { object->Release(); }
};

using ScopedHandle = Scoped<KernelTraits>;
using ScopedFind = Scoped<FindTraits>;
using ScopedRegistryKey = Scoped<RegistryKeyTraits>;
template <typename Object>
using ScopedGDIObject = Scoped<GDITraits<Object>>;
using ScopedModule = Scoped<ModuleTraits>;
using ScopedMenu = Scoped<MenuTraits>;
using ScopedWindow = Scoped<WindowTraits>;
template <typename Pointer>
using ScopedCoTaskMem = Scoped<CoTaskMemTraits<Pointer>>;
template <typename Pointer>
using ScopedLocalMem = Scoped<LocalMemTraits<Pointer>>;
// A COM interface pointer, released when it goes.
template <typename Interface>
class ComPtr : public Scoped<ComTraits<Interface>> {
 public:
  using Scoped<ComTraits<Interface>>::Scoped;
  Interface* operator->() const { return this->get(); }
};

// An object selected into a device context, and the one it replaced put back on leaving.
class ScopedSelection {
 public:
  ScopedSelection(HDC dc, HGDIOBJ object) : dc_(dc), old_(object ? SelectObject(dc, object) : nullptr) {}
  ~ScopedSelection() {
    if (old_) SelectObject(dc_, old_);
  }
  ScopedSelection(const ScopedSelection&) = delete;
  ScopedSelection& operator=(const ScopedSelection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// BeginPaint on entry, EndPaint on leaving.
class ScopedPaint {
 public:
  explicit ScopedPaint(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
  ~ScopedPaint() { EndPaint(window_, &paint_); }
  ScopedPaint(const ScopedPaint&) = delete;
  ScopedPaint& operator=(const ScopedPaint&) = delete;
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// COM for the calling thread from construction to destruction, when it could be set up.
class ComApartment {
 public:
  explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) : ok_(SUCCEEDED(CoInitializeEx(nullptr, model))) {}
  ~ComApartment() {
    if (ok_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool ok_;
};

}  // namespace kvx::win32
