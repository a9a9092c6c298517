// Windows the binding paints itself: the gauge, the picture, the panel, and the
// buttons that carry a picture beside their caption.
#include <windows.h>

#include <algorithm>
#include <string>

#include "base/win32_scope.h"
#include "ui/buttons.h"
#include "ui/indicators.h"
#include "ui/peers_win32.h"

namespace kvx::ui {
namespace {

const Control& ControlOf(HWND window) { return *reinterpret_cast<const Control*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

void Fill(HDC dc, const RECT& area, COLORREF color) {
  const win32::ScopedGDIObject<HBRUSH> brush(CreateSolidBrush(color));
  FillRect(dc, &area, brush.get());
}

// The font the control was given, else its parent's; null when neither has one.
HFONT ControlFont(HWND window) {
  if (HFONT own = reinterpret_cast<HFONT>(GetPropW(window, L"KvxFont"))) return own;
  return reinterpret_cast<HFONT>(SendMessageW(GetParent(window), WM_GETFONT, 0, 0));
}

void PaintGauge(HWND window, HDC dc, const RECT& area) {
  const auto& gauge = static_cast<const Gauge&>(ControlOf(window));
  Fill(dc, area, ResolveColor(gauge.BackColor()));
  RECT bar = area;
  InflateRect(&bar, -1, -1);
  bar.right = bar.left + (bar.right - bar.left) * gauge.PercentDone() / 100;
  Fill(dc, bar, ResolveColor(gauge.ForeColor()));
  FrameRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  const std::wstring percent = std::to_wstring(gauge.PercentDone()) + L"%";
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  RECT text = area;
  DrawTextW(dc, percent.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

COLORREF Blend(COLORREF from, COLORREF to, int step, int steps) {
  auto mix = [&](int a, int b) { return a + (b - a) * step / std::max(steps, 1); };
  return RGB(mix(GetRValue(from), GetRValue(to)), mix(GetGValue(from), GetGValue(to)), mix(GetBValue(from), GetBValue(to)));
}

void PaintImage(HWND window, HDC dc, const RECT& area) {
  const Picture& picture = static_cast<const Image&>(ControlOf(window)).GetPicture();
  const int height = area.bottom - area.top;
  for (int y = 0; y < height; y += 4) {
    RECT band{area.left, area.top + y, area.right, std::min(area.top + y + 4, area.bottom)};
    Fill(dc, band, Blend(ResolveColor(picture.top), ResolveColor(picture.bottom), y, height));
  }
  const win32::ScopedGDIObject<HFONT> font(CreateFontW(-28, 0, 900, 900, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                                       DEFAULT_PITCH | FF_SWISS, L"Arial"));
  const win32::ScopedSelection selected(dc, font.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  const std::wstring title = Wide(picture.title);
  TextOutW(dc, (area.right - area.left) / 2 - 16, area.bottom - 24, title.c_str(), static_cast<int>(title.size()));
}

// A group box: an etched frame below the middle of its caption, which interrupts it
// near the left. A panel: a raised edge with its caption centred at the top. A tab
// sheet: the page's face.
void PaintContainer(HWND window, HDC dc, const RECT& area) {
  const Control& container = ControlOf(window);
  Fill(dc, area, GetSysColor(COLOR_BTNFACE));
  if (container.Kind() == ControlKind::TabSheet) return;
  const win32::ScopedSelection selected(dc, ControlFont(window));
  const std::wstring caption = Wide(container.Caption());
  SIZE textSize{};
  GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &textSize);
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  SetTextColor(dc, ResolveColor(container.GetFont().color));
  RECT edge = area;
  if (container.Kind() == ControlKind::GroupBox) {
    edge.top += textSize.cy / 2;
    DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);
    if (!caption.empty()) TextOutW(dc, 8, 0, (L" " + caption + L" ").c_str(), static_cast<int>(caption.size() + 2));
  } else {
    DrawEdge(dc, &edge, BDR_RAISEDINNER, BF_RECT);
    RECT text = area;
    text.top += 4;
    DrawTextW(dc, caption.c_str(), -1, &text, DT_CENTER | DT_TOP | DT_SINGLELINE);
  }
}

// What a container's controls tell their parent goes on to the form's window.
bool IsForwarded(UINT message) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CONTEXTMENU:
      return true;
  }
  return false;
}

using Painter = void (*)(HWND, HDC, const RECT&);

template <Painter paint>
LRESULT CALLBACK PaintedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsForwarded(message) && paint == PaintContainer)
    return SendMessageW(GetAncestor(window, GA_ROOT), message, wParam, lParam);
  switch (message) {
    case WM_NCCREATE:
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
      break;
    case WM_SETFONT:
      SetPropW(window, L"KvxFont", reinterpret_cast<HANDLE>(wParam));
      return 0;
    case WM_NCDESTROY:
      RemovePropW(window, L"KvxFont");
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      const win32::ScopedPaint painting(window);
      RECT area;
      GetClientRect(window, &area);
      paint(window, painting.dc(), area);
      return 0;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void Register(const wchar_t* name, WNDPROC procedure) {
  WNDCLASSW painted{};
  painted.lpfnWndProc = procedure;
  painted.hInstance = GetModuleHandleW(nullptr);
  painted.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  painted.lpszClassName = name;
  RegisterClassW(&painted);
}

// Shell icon resources for the pictures of buttons.
int ShellIconId(Glyph glyph) {
  switch (glyph) {
    case Glyph::Diskette: return 7;
    case Glyph::CDROM: return 12;
    case Glyph::Drive: return 9;
    case Glyph::Folder: return 4;
    case Glyph::Save: return 8;
    case Glyph::Quit: return 28;
    case Glyph::Restore: return 5;
    case Glyph::Search: return 23;
    case Glyph::Erase: return 33;
    case Glyph::None: break;
  }
  return 0;
}

}  // namespace

void RegisterPaintedClasses() {
  Register(kGaugeClass, PaintedProc<PaintGauge>);
  Register(kImageClass, PaintedProc<PaintImage>);
  Register(kContainerClass, PaintedProc<PaintContainer>);
}

HICON GlyphIcon(int glyph, int size) {
  const int id = ShellIconId(static_cast<Glyph>(glyph));
  if (!id) return nullptr;
  return static_cast<HICON>(
      LoadImageW(GetModuleHandleW(L"shell32.dll"), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_SHARED));
}

bool FormWindow::DrawButton(const DRAWITEMSTRUCT& item) {
  ControlPeer* peer = PeerOf(item.hwndItem);
  if (!peer || peer->GetControl().Kind() != ControlKind::Button) return false;
  const auto& button = static_cast<const Button&>(peer->GetControl());
  const bool pushed = item.itemState & ODS_SELECTED;
  const bool disabled = item.itemState & ODS_DISABLED;
  RECT face = item.rcItem;
  DrawFrameControl(item.hDC, &face, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));

  const std::wstring caption = Wide(button.Caption());
  const win32::ScopedSelection selected(item.hDC, reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
  SIZE textSize{};
  GetTextExtentPoint32W(item.hDC, caption.c_str(), static_cast<int>(caption.size()), &textSize);
  const int height = item.rcItem.bottom - item.rcItem.top;
  const int iconSize = height >= 48 ? 32 : 16;  // large picture buttons show large icons
  const int gap = caption.empty() ? 0 : 4;
  const int contentWidth = iconSize + gap + textSize.cx;
  const int offset = pushed ? 1 : 0;
  const int left = (item.rcItem.right - item.rcItem.left - contentWidth) / 2 + offset;
  const int middle = height / 2 + offset;
  if (HICON icon = GlyphIcon(static_cast<int>(button.GetGlyph()), iconSize))
    DrawState(item.hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, left, middle - iconSize / 2, iconSize,
              iconSize, DST_ICON | (disabled ? DSS_DISABLED : DSS_NORMAL));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  TextOutW(item.hDC, left + iconSize + gap, middle - textSize.cy / 2, caption.c_str(), static_cast<int>(caption.size()));
  if (item.itemState & ODS_FOCUS) {
    RECT focus = item.rcItem;
    InflateRect(&focus, -4, -4);
    DrawFocusRect(item.hDC, &focus);
  }
  return true;
}

}  // namespace kvx::ui
