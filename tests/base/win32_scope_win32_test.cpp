// The Win32 scope owners: each closes its kind of handle exactly once, when its owner
// goes, and never one it gave up or handed on.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "base/win32_scope.h"

namespace kvx::win32 {
namespace {

// An open handle in a type-erased owner, and how to tell it has been closed.
struct Owned {
  std::shared_ptr<void> owner;
  std::function<bool()> closed;
};

bool RegistryKeyClosed(HKEY key) {
  DWORD subkeys = 0;
  return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr) != ERROR_SUCCESS;
}

TEST(Win32Scope, EachOwnerClosesItsHandleWhenItGoes) {
  const struct {
    const char* kind;
    std::function<Owned()> open;
  } rows[] = {
      {"event",
       [] {
         HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
         DWORD flags = 0;
         return Owned{std::make_shared<ScopedHandle>(event), [event, flags]() mutable {
                        return !GetHandleInformation(event, &flags);
                      }};
       }},
      {"registry key",
       [] {
         HKEY key = nullptr;
         EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key), ERROR_SUCCESS);
         return Owned{std::make_shared<ScopedRegistryKey>(key), [key] { return RegistryKeyClosed(key); }};
       }},
      {"brush",
       [] {
         HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
         return Owned{std::make_shared<ScopedGDIObject<HBRUSH>>(brush), [brush] { return GetObjectType(brush) == 0; }};
       }},
      {"menu",
       [] {
         HMENU menu = CreatePopupMenu();
         return Owned{std::make_shared<ScopedMenu>(menu), [menu] { return !IsMenu(menu); }};
       }},
      {"module",
       [] {
         // A system library nothing else here has loaded, so that it goes with its owner.
         const wchar_t* name = L"";
         for (const wchar_t* candidate : {L"cabinet.dll", L"mapi32.dll", L"msacm32.dll"})
           if (!GetModuleHandleW(candidate)) {
             name = candidate;
             break;
           }
         HMODULE module = LoadLibraryW(name);
         EXPECT_NE(module, nullptr);
         return Owned{std::make_shared<ScopedModule>(module), [name] { return GetModuleHandleW(name) == nullptr; }};
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.kind);
    Owned owned = row.open();
    EXPECT_FALSE(owned.closed()) << "open while owned";
    owned.owner.reset();
    EXPECT_TRUE(owned.closed());
  }
}

TEST(Win32Scope, MovingHandsTheHandleOnAndReleasingGivesItUp) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD flags = 0;
  {
    ScopedHandle first(event);
    ScopedHandle second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), event);
    ScopedHandle third;
    third = std::move(second);
    EXPECT_EQ(third.get(), event);
    EXPECT_EQ(third.release(), event);
  }
  ASSERT_TRUE(GetHandleInformation(event, &flags)) << "released: still open";
  ScopedHandle owner(event);
  owner.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  EXPECT_FALSE(GetHandleInformation(event, &flags)) << "reset closes what was held";
}

TEST(Win32Scope, NullAndInvalidHandleValueAreBothNone) {
  EXPECT_FALSE(ScopedHandle());
  EXPECT_FALSE(ScopedHandle(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(ScopedFind(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(ScopedModule(reinterpret_cast<HMODULE>(31))) << "an error code of the old loader";
}

// A COM object that counts its references.
class CountedUnknown final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  ULONG references = 1;
};

TEST(Win32Scope, ComPointersAreReleasedOnceWhereverTheyGo) {
  CountedUnknown object;
  {
    ComPtr<CountedUnknown> first(&object);
    ComPtr<CountedUnknown> second(std::move(first));
    EXPECT_EQ(second->references, 1u);
  }
  EXPECT_EQ(object.references, 0u);
}

TEST(Win32Scope, ASelectionPutsBackWhatItReplaced) {
  HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ before = GetCurrentObject(dc, OBJ_BRUSH);
  const ScopedGDIObject<HBRUSH> brush(CreateSolidBrush(RGB(4, 5, 6)));
  {
    const ScopedSelection selected(dc, brush.get());
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush.get());
  }
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), before);
  DeleteDC(dc);
}

}  // namespace
}  // namespace kvx::win32
