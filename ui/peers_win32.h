// Shared by the Win32 binding's files: the window of a form, the peers that mirror
// each control into a child window, and the custom-painted window classes.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/win32_scope.h"
#include "ui/control.h"
#include "ui/form.h"

namespace kvx::ui {

class FormWindow;
class Timer;

std::wstring Wide(std::string_view text);
std::string Narrow(const std::wstring& text);
std::string WindowText(HWND window);
COLORREF ResolveColor(Color color);

// Mirrors one control into its child window and turns the window's notifications into
// the control's events. Child windows lie in their container's window (group box,
// panel, tab sheet, or the form), at the control's own bounds.
class ControlPeer : public Peer {
 public:
  ControlPeer(FormWindow& owner, Control& control) : owner_(owner), control_(control) {}

  Control& GetControl() const { return control_; }
  HWND Handle() const { return window_.get(); }

  void Update(Property property) override;
  // WM_COMMAND notification codes from the window.
  virtual void Command(int) {}
  // WM_NOTIFY from the window.
  virtual void Notify(const NMHDR&) {}
  // Lets the window take its whole state once it exists.
  virtual void Fill() {}

 protected:
  // Creates the child window in its container's window with the common styles and a
  // command id of its own; extraHeight makes room for a drop-down list.
  void CreateChild(const wchar_t* windowClass, DWORD style, DWORD exStyle = 0, int extraHeight = 0);
  void WriteText(const std::string& text);
  // While true, notifications caused by the peer's own writes are ignored.
  bool writing_ = false;
  win32::ScopedWindow window_;
  FormWindow& owner_;

 private:
  Control& control_;
  int extraHeight_ = 0;
};

std::unique_ptr<ControlPeer> MakeControlPeer(FormWindow& owner, Control& control);

// The top-level window of a form with the peers of its controls and timers.
class FormWindow : public Peer {
 public:
  explicit FormWindow(Form& form);
  ~FormWindow() override;

  Form& GetForm() const { return form_; }
  HWND Handle() const { return window_.get(); }
  int NextControlId() { return nextId_++; }
  HFONT FontFor(const Control& control);
  ControlPeer* PeerOf(const Control& control) const;
  ControlPeer* PeerOf(HWND window) const;
  // The window a control's own window lies in.
  HWND ParentWindowOf(const Control& control) const;
  // Shows or hides the windows of a control and everything it holds, after its Showing changed.
  void RefreshShowing(const Control& control);

  void Update(Property property) override;
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void CreatePeers(Container& container);
  void AttachTimers();
  bool DrawButton(const DRAWITEMSTRUCT& item);
  void ShowContextMenu(HWND target, LPARAM where);

  Form& form_;
  win32::ScopedWindow window_;
  int nextId_ = 100;
  std::vector<std::unique_ptr<ControlPeer>> peers_;
  std::map<const Control*, ControlPeer*> byControl_;
  std::map<HWND, ControlPeer*> byWindow_;
  std::map<std::wstring, win32::ScopedGDIObject<HFONT>> fonts_;
  std::vector<std::unique_ptr<Peer>> timerPeers_;
  std::map<UINT_PTR, Timer*> timers_;
};

// Window classes painted by the binding itself: gauge, picture, and the containers
// (group box, panel, tab sheet), which pass their children's notifications on to the
// form's window.
void RegisterPaintedClasses();
inline constexpr wchar_t kGaugeClass[] = L"KvxGauge";
inline constexpr wchar_t kImageClass[] = L"KvxImage";
inline constexpr wchar_t kContainerClass[] = L"KvxContainer";

// Icon of a button's picture at a size in pixels, or null.
HICON GlyphIcon(int glyph, int size);

}  // namespace kvx::ui
