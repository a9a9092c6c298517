// The Win32 binding: forms become top-level windows whose controls are child windows
// mirrored by peers; modal shows run a message loop; the dispatcher wakes the GUI
// thread with a posted message.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <windowsx.h>

#include <algorithm>

#include "base/cp1252.h"
#include "base/win32_scope.h"
#include "ui/components.h"
#include "ui/containers.h"
#include "ui/list_controls.h"
#include "ui/native_windows.h"
#include "ui/peers_win32.h"

namespace kvx::ui {

Dialogs& NativeDialogs();

namespace {

constexpr wchar_t kFormClass[] = L"KvxForm";
constexpr wchar_t kDispatcherClass[] = L"KvxDispatcher";
constexpr UINT kRunPostedTasks = WM_APP + 1;

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* owner = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (owner && owner->Handle() == window) return owner->OnMessage(message, wParam, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK DispatcherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunPostedTasks) {
    RunPostedTasks();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterClasses() {
  WNDCLASSW form{};
  form.style = CS_DBLCLKS;
  form.lpfnWndProc = FormProc;
  form.hInstance = GetModuleHandleW(nullptr);
  form.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  form.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));      // IDI_APPLICATION
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form.lpszClassName = kFormClass;
  RegisterClassW(&form);

  WNDCLASSW dispatcher{};
  dispatcher.lpfnWndProc = DispatcherProc;
  dispatcher.hInstance = GetModuleHandleW(nullptr);
  dispatcher.lpszClassName = kDispatcherClass;
  RegisterClassW(&dispatcher);
  RegisterPaintedClasses();
}

// Other windows of this thread are disabled while a modal form is up, as a modal
// show does, and enabled again afterwards.
class DisabledThreadWindows {
 public:
  explicit DisabledThreadWindows(HWND keep) : keep_(keep) {
    EnumThreadWindows(GetCurrentThreadId(), &DisabledThreadWindows::Collect, reinterpret_cast<LPARAM>(this));
    for (HWND window : windows_) EnableWindow(window, FALSE);
  }
  ~DisabledThreadWindows() {
    for (HWND window : windows_) EnableWindow(window, TRUE);
  }

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM self) {
    auto* me = reinterpret_cast<DisabledThreadWindows*>(self);
    if (window != me->keep_ && IsWindowVisible(window) && IsWindowEnabled(window)) me->windows_.push_back(window);
    return TRUE;
  }
  HWND keep_;
  std::vector<HWND> windows_;
};

class NativePresenter final : public Presenter {
 public:
  void RunModal(Form& form) override {
    FormWindow window(form);
    DisabledThreadWindows disabled(window.Handle());
    ShowWindow(window.Handle(), SW_SHOW);
    SetForegroundWindow(window.Handle());
    MSG message;
    while (form.GetModalResult() == ModalResult::None) {
      const BOOL got = GetMessageW(&message, nullptr, 0, 0);
      if (got <= 0) {
        if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));  // leave it to the outer loop
        break;
      }
      if (!IsDialogMessageW(window.Handle(), &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
  }

  // Wakes the loop so that it sees the result.
  void EndModal(Form&) override { PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0); }

  void Show(Form& form) override {
    auto& window = modeless_[&form];
    if (!window) window = std::make_unique<FormWindow>(form);
    ShowWindow(window->Handle(), SW_SHOW);
  }

  void Hide(Form& form) override { modeless_.erase(&form); }

  void BringToFront(Form& form) override {
    if (auto* window = dynamic_cast<FormWindow*>(form.GetPeer())) SetForegroundWindow(window->Handle());
  }
  void BringWindowToFront(intptr_t handle) override { SetForegroundWindow(reinterpret_cast<HWND>(handle)); }

  Dialogs& GetDialogs() override { return NativeDialogs(); }

 private:
  std::map<Form*, std::unique_ptr<FormWindow>> modeless_;
};

// Timers run as window timers of their form's window.
class TimerPeer final : public Peer {
 public:
  TimerPeer(HWND window, UINT_PTR id, Timer& timer) : window_(window), id_(id), timer_(timer) {
    timer_.AttachPeer(this);
    Update(Property::Active);
  }
  ~TimerPeer() override {
    KillTimer(window_, id_);
    timer_.AttachPeer(nullptr);
  }
  void Update(Property) override {
    if (timer_.Enabled()) SetTimer(window_, id_, static_cast<UINT>(std::max(timer_.Interval(), 1)), nullptr);
    else KillTimer(window_, id_);
  }

 private:
  HWND window_;
  UINT_PTR id_;
  Timer& timer_;
};

RECT CentredFrame(const Form& form, DWORD style, DWORD exStyle) {
  RECT frame{0, 0, form.Bounds().width, form.Bounds().height};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  int left = CW_USEDEFAULT, top = CW_USEDEFAULT;
  if (form.CentredOnDesktop()) {
    left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  }
  return {left, top, left + width, top + height};
}

}  // namespace

std::wstring Wide(std::string_view text) {
  const std::u16string units = CP1252ToUTF16(text);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(const std::wstring& text) { return UTF16ToCP1252(std::u16string(text.begin(), text.end())); }

std::string WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

COLORREF ResolveColor(Color color) {
  return (color & kSystemColor) ? GetSysColor(static_cast<int>(color & 0xFF)) : static_cast<COLORREF>(color);
}

FormWindow::FormWindow(Form& form) : form_(form) {
  const DWORD style = form.GetBorderStyle() == BorderStyle::Single
                          ? WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN
                          : WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  const DWORD exStyle = form.StayOnTop() ? WS_EX_TOPMOST : 0;
  const RECT frame = CentredFrame(form, style, exStyle);
  window_.reset(CreateWindowExW(exStyle, kFormClass, Wide(form.Caption()).c_str(), style, frame.left, frame.top,
                            frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this));
  form_.AttachPeer(this);
  CreatePeers(form_);
  for (auto& peer : peers_) peer->Fill();
  RefreshShowing(form_);
  AttachTimers();
}

FormWindow::~FormWindow() {
  timerPeers_.clear();
  for (auto& peer : peers_) peer->GetControl().AttachPeer(nullptr);
  form_.AttachPeer(nullptr);
  peers_.clear();
  // Now, while the members its last messages reach are still alive.
  window_.reset();
}

void FormWindow::CreatePeers(Container& container) {
  for (Control* child : container.Children()) {
    auto peer = MakeControlPeer(*this, *child);
    byControl_[child] = peer.get();
    byWindow_[peer->Handle()] = peer.get();
    child->AttachPeer(peer.get());
    peers_.push_back(std::move(peer));
    if (auto* inner = dynamic_cast<Container*>(child)) CreatePeers(*inner);
  }
}

void FormWindow::AttachTimers() {
  UINT_PTR id = 1;
  for (Component* component : form_.Components())
    if (auto* timer = dynamic_cast<Timer*>(component)) {
      timers_[id] = timer;
      timerPeers_.push_back(std::make_unique<TimerPeer>(window_.get(), id++, *timer));
    }
}

HFONT FormWindow::FontFor(const Control& control) {
  const Font& font = control.GetFont();
  const std::wstring key = Wide(font.face) + L"/" + std::to_wstring(font.height) + (font.bold ? L"b" : L"");
  win32::ScopedGDIObject<HFONT>& handle = fonts_[key];
  if (!handle)
    handle.reset(CreateFontW(-font.height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, Wide(font.face).c_str()));
  return handle.get();
}

ControlPeer* FormWindow::PeerOf(const Control& control) const {
  const auto found = byControl_.find(&control);
  return found == byControl_.end() ? nullptr : found->second;
}

ControlPeer* FormWindow::PeerOf(HWND window) const {
  const auto found = byWindow_.find(window);
  return found == byWindow_.end() ? nullptr : found->second;
}

HWND FormWindow::ParentWindowOf(const Control& control) const {
  const ControlPeer* parent = control.Parent() ? PeerOf(*control.Parent()) : nullptr;
  return parent ? parent->Handle() : window_.get();
}

void FormWindow::RefreshShowing(const Control& control) {
  if (ControlPeer* peer = PeerOf(control); peer && peer->Handle())
    ShowWindow(peer->Handle(), control.Showing() ? SW_SHOWNA : SW_HIDE);
  if (const auto* container = dynamic_cast<const Container*>(&control))
    for (const Control* child : container->Children()) RefreshShowing(*child);
}

void FormWindow::Update(Property property) {
  if (property == Property::Caption) SetWindowTextW(window_.get(), Wide(form_.Caption()).c_str());
  if (property == Property::Repaint) RedrawWindow(window_.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void FormWindow::ShowContextMenu(HWND target, LPARAM where) {
  ControlPeer* peer = PeerOf(target);
  if (!peer || peer->GetControl().Kind() != ControlKind::ListBox) return;
  const PopupMenu* menu = static_cast<ListBox&>(peer->GetControl()).GetPopupMenu();
  if (!menu) return;
  const win32::ScopedMenu popup(CreatePopupMenu());
  const auto& items = menu->Items();
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].IsSeparator()) AppendMenuW(popup.get(), MF_SEPARATOR, 0, nullptr);
    else AppendMenuW(popup.get(), MF_STRING, i + 1, Wide(items[i].caption).c_str());
    if (items[i].isDefault) SetMenuDefaultItem(popup.get(), static_cast<UINT>(i + 1), FALSE);
  }
  POINT at{GET_X_LPARAM(where), GET_Y_LPARAM(where)};
  if (at.x == -1 && at.y == -1) GetCursorPos(&at);  // opened from the keyboard
  const int chosen = TrackPopupMenu(popup.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window_.get(), nullptr);
  if (chosen > 0) items[static_cast<size_t>(chosen - 1)].Click();
}

LRESULT FormWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (ControlPeer* peer = PeerOf(reinterpret_cast<HWND>(lParam))) peer->Command(HIWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (ControlPeer* peer = PeerOf(header->hwndFrom)) peer->Notify(*header);
      return 0;
    }
    case WM_DRAWITEM:
      if (DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      if (ControlPeer* peer = PeerOf(reinterpret_cast<HWND>(lParam))) {
        SetTextColor(dc, ResolveColor(peer->GetControl().GetFont().color));
        if (peer->GetControl().Kind() == ControlKind::Edit || peer->GetControl().Kind() == ControlKind::Memo) {
          SetBkColor(dc, GetSysColor(COLOR_WINDOW));
          return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
      }
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CONTEXTMENU:
      ShowContextMenu(reinterpret_cast<HWND>(wParam), lParam);
      return 0;
    case WM_TIMER:
      if (const auto found = timers_.find(wParam); found != timers_.end()) found->second->Tick();
      return 0;
    case WM_CLOSE:
      form_.Close();
      return 0;
  }
  return DefWindowProcW(window_.get(), message, wParam, lParam);
}

namespace {

// What the GUI thread sets up once for native windows: COM for the shell's dialogs, the
// common controls, the window classes, the dispatcher's wake-up window and the presenter.
class NativeWindowsSetup {
 public:
  NativeWindowsSetup() {
    INITCOMMONCONTROLSEX common{sizeof common, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_ANIMATE_CLASS | ICC_TAB_CLASSES};
    InitCommonControlsEx(&common);
    RegisterClasses();
    HWND wake = CreateWindowExW(0, kDispatcherClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWakeUp([wake] { PostMessageW(wake, kRunPostedTasks, 0, 0); });
    SetPresenter(&presenter_);
  }

 private:
  win32::ComApartment apartment_;
  NativePresenter presenter_;
};

}  // namespace

void UseNativeWindows() { static NativeWindowsSetup setup; }

}  // namespace kvx::ui
