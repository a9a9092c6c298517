// Controls holding a list of texts: the combo box (with an editable or a fixed text),
// the drive box, and the list box with its context menu.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/control.h"
#include "ui/drives.h"

namespace kvx::ui {

class PopupMenu;

// Items with a current index; shared by the combo boxes and the list box.
class ItemList {
 public:
  const std::vector<std::string>& Items() const { return items_; }
  int Count() const { return static_cast<int>(items_.size()); }
  // Exact (case-sensitive) position of a text among the items, or -1.
  int IndexOf(std::string_view text) const;
  bool Contains(std::string_view text) const { return IndexOf(text) >= 0; }

 protected:
  std::vector<std::string> items_;
  int itemIndex_ = -1;
};

class ComboBox : public Control, public ItemList {
 public:
  enum class Style { DropDown, DropDownList };

  ComboBox(Container* parent, std::string name, ControlKind kind = ControlKind::ComboBox)
      : Control(parent, std::move(name), kind) {}

  Style GetStyle() const { return style_; }
  void SetStyle(Style style) { style_ = style; }

  void AddItem(std::string item);
  void DeleteItem(int index);
  void SetItems(std::vector<std::string> items);
  void ClearItems();
  // Empties the items and the text.
  void Clear();

  int ItemIndex() const { return itemIndex_; }
  // Selects an entry (or none with -1); the text becomes the entry's.
  void SetItemIndex(int index);

  const std::string& Text() const { return text_; }
  // The selection stays only when the text is still that of the selected entry.
  void SetText(std::string text);

  // What the user does: pick an entry of the list, or type in the edit part. OnChange follows.
  void UserSelect(int index);
  void UserType(std::string text);

  std::function<void()> OnChange;

 private:
  Style style_ = Style::DropDown;
  std::string text_;
};

// The system's drives, one entry each ("C: [SYSTEM]", "F: \\SRV\PARTAGE"), with the
// current one selected.
class DriveComboBox : public ComboBox {
 public:
  DriveComboBox(Container* parent, std::string name) : ComboBox(parent, std::move(name), ControlKind::DriveComboBox) {
    SetStyle(Style::DropDownList);
  }

  // Lists the drives the user sees (the presenter's) and selects the drive of the current folder.
  void Refresh();
  // Lists the given drives and selects current (no selection when it is not listed).
  void Fill(std::vector<DriveInfo> drives, char current);

  // Upper-case letter of the selected drive, or 0.
  char Drive() const;
  // Selects a drive's entry and runs OnChange, as a choice of the user does.
  bool SetDrive(char letter);

 private:
  std::vector<DriveInfo> drives_;
};

class ListBox : public Control, public ItemList {
 public:
  ListBox(Container* parent, std::string name) : Control(parent, std::move(name), ControlKind::ListBox) {}

  void AddItem(std::string item);
  void ClearItems();

  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int index);
  // The selected entry's text, or empty when none is selected.
  std::string SelectedText() const;

  PopupMenu* GetPopupMenu() const { return popupMenu_; }
  void SetPopupMenu(PopupMenu* menu) { popupMenu_ = menu; }

  // What the user does: a click on an entry (OnClick); a double click is a click
  // followed by OnDblClick.
  void UserSelect(int index);
  void UserDoubleClick(int index);
  void DoubleClick() {
    if (OnDblClick) OnDblClick();
  }

  std::function<void()> OnClick;
  std::function<void()> OnDblClick;

 private:
  PopupMenu* popupMenu_ = nullptr;
};

}  // namespace kvx::ui
