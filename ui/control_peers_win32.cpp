// One peer per kind of control: which window class stands for it, how its state is
// written into the window, and which notifications become its events.
#include <windows.h>
#include <commctrl.h>

#include "ui/buttons.h"
#include "ui/containers.h"
#include "ui/indicators.h"
#include "ui/list_controls.h"
#include "ui/peers_win32.h"
#include "ui/text_controls.h"

namespace kvx::ui {
namespace {

constexpr int kDropDownHeight = 200;
constexpr int kCopyFileAnimation = 160;  // the shell's file-copy clip

std::string ItemText(HWND window, UINT lengthMessage, UINT textMessage, WPARAM index) {
  const LRESULT length = SendMessageW(window, lengthMessage, index, 0);
  if (length < 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(window, textMessage, index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return Narrow(text);
}

class LabelPeer final : public ControlPeer {
 public:
  LabelPeer(FormWindow& owner, Control& control) : ControlPeer(owner, control) {
    CreateChild(L"STATIC", SS_LEFT | SS_NOPREFIX);
  }
};

class ButtonPeer final : public ControlPeer {
 public:
  ButtonPeer(FormWindow& owner, Button& button) : ControlPeer(owner, button), button_(button) {
    CreateChild(L"BUTTON", WS_TABSTOP | (button.GetGlyph() == Glyph::None ? BS_PUSHBUTTON : BS_OWNERDRAW));
  }
  void Command(int code) override {
    if (code == BN_CLICKED) button_.Click();
  }
  void Update(Property property) override {
    if (property == Property::Picture) InvalidateRect(window_.get(), nullptr, TRUE);
    ControlPeer::Update(property);
  }

 private:
  Button& button_;
};

// Check boxes and radio buttons: the window never changes its own state; a click goes
// to the control, whose state comes back through Update.
class CheckPeer final : public ControlPeer {
 public:
  CheckPeer(FormWindow& owner, ToggleButton& box, DWORD style) : ControlPeer(owner, box), box_(box) {
    CreateChild(L"BUTTON", WS_TABSTOP | style);
  }
  void Fill() override { Update(Property::Checked); }
  void Command(int code) override {
    if (code == BN_CLICKED) box_.UserClick();
  }
  void Update(Property property) override {
    if (property == Property::Checked) SendMessageW(window_.get(), BM_SETCHECK, box_.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
    ControlPeer::Update(property);
  }

 private:
  ToggleButton& box_;
};

class EditPeer final : public ControlPeer {
 public:
  EditPeer(FormWindow& owner, Edit& edit) : ControlPeer(owner, edit), edit_(edit) {
    CreateChild(L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
  }
  void Fill() override { WriteText(edit_.Text()); }
  void Command(int code) override {
    if (code == EN_CHANGE && !writing_) edit_.SetText(WindowText(window_.get()));
  }
  void Update(Property property) override {
    if (property == Property::Text && WindowText(window_.get()) != edit_.Text()) WriteText(edit_.Text());
    ControlPeer::Update(property);
  }

 private:
  Edit& edit_;
};

class MemoPeer final : public ControlPeer {
 public:
  MemoPeer(FormWindow& owner, Memo& memo) : ControlPeer(owner, memo), memo_(memo) {
    CreateChild(L"EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | (memo.VerticalScrollBar() ? WS_VSCROLL : 0),
                WS_EX_CLIENTEDGE);
  }
  void Fill() override { WriteAll(); }
  void Update(Property property) override {
    if (property == Property::Lines) {
      if (memo_.Lines().size() == shown_ + 1) Append(memo_.Lines().back());
      else WriteAll();
    }
    ControlPeer::Update(property);
  }

 private:
  void WriteAll() {
    std::string text;
    for (const std::string& line : memo_.Lines()) text += line + "\r\n";
    WriteText(text);
    shown_ = memo_.Lines().size();
  }
  void Append(const std::string& line) {
    const LRESULT end = GetWindowTextLengthW(window_.get());
    SendMessageW(window_.get(), EM_SETSEL, end, end);
    SendMessageW(window_.get(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Wide(line + "\r\n").c_str()));
    ++shown_;
  }
  Memo& memo_;
  size_t shown_ = 0;
};

class ComboPeer final : public ControlPeer {
 public:
  ComboPeer(FormWindow& owner, ComboBox& combo) : ControlPeer(owner, combo), combo_(combo) {
    const DWORD style = combo.GetStyle() == ComboBox::Style::DropDown ? CBS_DROPDOWN | CBS_AUTOHSCROLL : CBS_DROPDOWNLIST;
    CreateChild(L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | style, 0, kDropDownHeight);
  }
  void Fill() override { Update(Property::Items); }
  void Command(int code) override {
    if (writing_) return;
    if (code == CBN_SELCHANGE) combo_.UserSelect(static_cast<int>(SendMessageW(window_.get(), CB_GETCURSEL, 0, 0)));
    else if (code == CBN_EDITCHANGE) Typed();
  }
  void Update(Property property) override {
    writing_ = true;
    if (property == Property::Items) {
      SendMessageW(window_.get(), CB_RESETCONTENT, 0, 0);
      for (const std::string& item : combo_.Items())
        SendMessageW(window_.get(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    }
    const bool echo = typing_ && (property == Property::ItemIndex || property == Property::Text);
    if (!echo && (property == Property::Items || property == Property::ItemIndex || property == Property::Text)) {
      SendMessageW(window_.get(), CB_SETCURSEL, static_cast<WPARAM>(combo_.ItemIndex()), 0);
      if (combo_.GetStyle() == ComboBox::Style::DropDown && WindowText(window_.get()) != combo_.Text())
        SetWindowTextW(window_.get(), Wide(combo_.Text()).c_str());
    }
    writing_ = false;
    ControlPeer::Update(property);
  }

 private:
  // The text the user types goes to the control without coming back: setting the
  // selection or the text rewrites the edit and puts the caret at its start.
  void Typed() {
    typing_ = true;
    combo_.UserType(WindowText(window_.get()));
    typing_ = false;
  }
  ComboBox& combo_;
  bool typing_ = false;
};

class ListPeer final : public ControlPeer {
 public:
  ListPeer(FormWindow& owner, ListBox& list) : ControlPeer(owner, list), list_(list) {
    CreateChild(L"LISTBOX", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, WS_EX_CLIENTEDGE);
  }
  void Fill() override { Update(Property::Items); }
  void Command(int code) override {
    if (code == LBN_SELCHANGE) list_.UserSelect(static_cast<int>(SendMessageW(window_.get(), LB_GETCURSEL, 0, 0)));
    else if (code == LBN_DBLCLK) list_.DoubleClick();
  }
  void Update(Property property) override {
    if (property == Property::Items) Refill();
    if (property == Property::Items || property == Property::ItemIndex)
      SendMessageW(window_.get(), LB_SETCURSEL, static_cast<WPARAM>(list_.ItemIndex()), 0);
    ControlPeer::Update(property);
  }

 private:
  // Results arrive one at a time during a search: an added last entry is appended alone.
  void Refill() {
    const auto& items = list_.Items();
    const auto shown = static_cast<size_t>(SendMessageW(window_.get(), LB_GETCOUNT, 0, 0));
    const bool oneAdded = items.size() == shown + 1 &&
                          (shown == 0 || ItemText(window_.get(), LB_GETTEXTLEN, LB_GETTEXT, shown - 1) == items[shown - 1]);
    if (!oneAdded) SendMessageW(window_.get(), LB_RESETCONTENT, 0, 0);
    for (size_t i = oneAdded ? shown : 0; i < items.size(); ++i)
      SendMessageW(window_.get(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(items[i]).c_str()));
  }
  ListBox& list_;
};

class PaintedPeer final : public ControlPeer {
 public:
  PaintedPeer(FormWindow& owner, Control& control, const wchar_t* windowClass) : ControlPeer(owner, control) {
    CreateChild(windowClass, 0);
  }
  void Update(Property property) override {
    if (property == Property::Progress || property == Property::Picture) InvalidateRect(window_.get(), nullptr, FALSE);
    ControlPeer::Update(property);
  }
};

class PageControlPeer final : public ControlPeer {
 public:
  PageControlPeer(FormWindow& owner, PageControl& pages) : ControlPeer(owner, pages), pages_(pages) {
    CreateChild(WC_TABCONTROLW, WS_TABSTOP | WS_CLIPCHILDREN);
  }
  void Fill() override {
    for (const TabSheet* page : pages_.Pages()) {
      std::wstring caption = Wide(page->Caption());
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = caption.data();
      SendMessageW(window_.get(), TCM_INSERTITEMW, static_cast<WPARAM>(page->PageIndex()), reinterpret_cast<LPARAM>(&item));
    }
    SendMessageW(window_.get(), TCM_SETCURSEL, static_cast<WPARAM>(pages_.ActivePageIndex()), 0);
  }
  void Notify(const NMHDR& header) override {
    if (header.code == static_cast<UINT>(TCN_SELCHANGE))
      pages_.SetActivePage(static_cast<int>(SendMessageW(window_.get(), TCM_GETCURSEL, 0, 0)));
  }
  void Update(Property property) override {
    if (property == Property::ActivePage) {
      SendMessageW(window_.get(), TCM_SETCURSEL, static_cast<WPARAM>(pages_.ActivePageIndex()), 0);
      owner_.RefreshShowing(pages_);
    }
    ControlPeer::Update(property);
  }

 private:
  PageControl& pages_;
};

// Group boxes, panels and tab sheets: windows that hold their controls' windows.
class ContainerPeer final : public ControlPeer {
 public:
  ContainerPeer(FormWindow& owner, Control& container) : ControlPeer(owner, container) {
    CreateChild(kContainerClass, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
  }
  void Update(Property property) override {
    if (property == Property::Caption) InvalidateRect(window_.get(), nullptr, TRUE);
    ControlPeer::Update(property);
  }
};

class AnimatePeer final : public ControlPeer {
 public:
  AnimatePeer(FormWindow& owner, Animate& animate) : ControlPeer(owner, animate), animate_(animate) {
    CreateChild(ANIMATE_CLASSW, ACS_CENTER | ACS_TRANSPARENT);
    SendMessageW(window_.get(), ACM_OPENW, reinterpret_cast<WPARAM>(GetModuleHandleW(L"shell32.dll")),
                 reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(kCopyFileAnimation)));
  }
  void Fill() override { Update(Property::Active); }
  void Update(Property property) override {
    if (property == Property::Active) {
      if (animate_.Active()) SendMessageW(window_.get(), ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 0xFFFF));
      else SendMessageW(window_.get(), ACM_STOP, 0, 0);
    }
    ControlPeer::Update(property);
  }

 private:
  Animate& animate_;
};

}  // namespace

void ControlPeer::CreateChild(const wchar_t* windowClass, DWORD style, DWORD exStyle, int extraHeight) {
  extraHeight_ = extraHeight;
  const Rect& at = control_.Bounds();
  const int id = owner_.NextControlId();
  window_.reset(CreateWindowExW(exStyle, windowClass, Wide(control_.Caption()).c_str(), WS_CHILD | WS_CLIPSIBLINGS | style,
                            at.left, at.top, at.width, at.height + extraHeight, owner_.ParentWindowOf(control_),
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), &control_));
  SendMessageW(window_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(owner_.FontFor(control_)), FALSE);
  EnableWindow(window_.get(), control_.Enabled());
}

void ControlPeer::WriteText(const std::string& text) {
  writing_ = true;
  SetWindowTextW(window_.get(), Wide(text).c_str());
  writing_ = false;
}

void ControlPeer::Update(Property property) {
  switch (property) {
    case Property::Caption:
      if (control_.Kind() != ControlKind::Edit && control_.Kind() != ControlKind::Memo) WriteText(control_.Caption());
      break;
    case Property::Enabled:
      EnableWindow(window_.get(), control_.Enabled());
      break;
    case Property::Visible:
      owner_.RefreshShowing(control_);
      break;
    case Property::Bounds: {
      const Rect& at = control_.Bounds();
      MoveWindow(window_.get(), at.left, at.top, at.width, at.height + extraHeight_, TRUE);
      break;
    }
    case Property::Font:
      SendMessageW(window_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(owner_.FontFor(control_)), TRUE);
      break;
    case Property::Repaint:
      RedrawWindow(window_.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      break;
    default:
      break;
  }
}

std::unique_ptr<ControlPeer> MakeControlPeer(FormWindow& owner, Control& control) {
  switch (control.Kind()) {
    case ControlKind::Label: return std::make_unique<LabelPeer>(owner, control);
    case ControlKind::Button: return std::make_unique<ButtonPeer>(owner, static_cast<Button&>(control));
    case ControlKind::CheckBox:
      return std::make_unique<CheckPeer>(owner, static_cast<ToggleButton&>(control), BS_CHECKBOX);
    case ControlKind::RadioButton:
      return std::make_unique<CheckPeer>(owner, static_cast<ToggleButton&>(control), BS_RADIOBUTTON);
    case ControlKind::Edit: return std::make_unique<EditPeer>(owner, static_cast<Edit&>(control));
    case ControlKind::Memo: return std::make_unique<MemoPeer>(owner, static_cast<Memo&>(control));
    case ControlKind::ComboBox:
    case ControlKind::DriveComboBox: return std::make_unique<ComboPeer>(owner, static_cast<ComboBox&>(control));
    case ControlKind::ListBox: return std::make_unique<ListPeer>(owner, static_cast<ListBox&>(control));
    case ControlKind::GroupBox:
    case ControlKind::Panel:
    case ControlKind::TabSheet: return std::make_unique<ContainerPeer>(owner, control);
    case ControlKind::Gauge: return std::make_unique<PaintedPeer>(owner, control, kGaugeClass);
    case ControlKind::Image: return std::make_unique<PaintedPeer>(owner, control, kImageClass);
    case ControlKind::PageControl: return std::make_unique<PageControlPeer>(owner, static_cast<PageControl&>(control));
    case ControlKind::Animate: return std::make_unique<AnimatePeer>(owner, static_cast<Animate&>(control));
    case ControlKind::Form: break;
  }
  return nullptr;
}

}  // namespace kvx::ui
