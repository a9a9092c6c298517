#include "ui/list_controls.h"

#include <algorithm>

#include "base/ascii_case.h"
#include "ui/form.h"

namespace kvx::ui {

int ItemList::IndexOf(std::string_view text) const {
  const auto found = std::find(items_.begin(), items_.end(), text);
  return found == items_.end() ? -1 : static_cast<int>(found - items_.begin());
}

void ComboBox::AddItem(std::string item) {
  items_.push_back(std::move(item));
  Changed(Property::Items);
}

void ComboBox::DeleteItem(int index) {
  if (index < 0 || index >= Count()) return;
  items_.erase(items_.begin() + index);
  if (itemIndex_ == index) {
    itemIndex_ = -1;
    text_.clear();
  } else if (itemIndex_ > index) {
    --itemIndex_;
  }
  Changed(Property::Items);
}

void ComboBox::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  itemIndex_ = -1;
  Changed(Property::Items);
}

void ComboBox::ClearItems() { SetItems({}); }

void ComboBox::Clear() {
  ClearItems();
  SetText("");
}

void ComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= Count()) return;
  itemIndex_ = index;
  text_ = index < 0 ? std::string() : items_[index];
  Changed(Property::ItemIndex);
}

void ComboBox::SetText(std::string text) {
  if (itemIndex_ >= 0 && items_[itemIndex_] != text) itemIndex_ = -1;
  text_ = std::move(text);
  Changed(Property::Text);
}

void ComboBox::UserSelect(int index) {
  SetItemIndex(index);
  if (OnChange) OnChange();
}

void ComboBox::UserType(std::string text) {
  SetText(std::move(text));
  if (OnChange) OnChange();
}

void DriveComboBox::Refresh() { Fill(CurrentPresenter().Drives(), CurrentDriveLetter()); }

void DriveComboBox::Fill(std::vector<DriveInfo> drives, char current) {
  std::vector<std::string> names;
  for (const DriveInfo& drive : drives) names.push_back(DriveDisplayName(drive));
  drives_ = std::move(drives);
  SetItems(std::move(names));
  SetDrive(current);
}

char DriveComboBox::Drive() const { return ItemIndex() < 0 ? 0 : drives_[ItemIndex()].letter; }

bool DriveComboBox::SetDrive(char letter) {
  const char upper = ASCIIUpperChar(letter);
  for (size_t i = 0; i < drives_.size(); ++i) {
    if (drives_[i].letter != upper) continue;
    UserSelect(static_cast<int>(i));
    return true;
  }
  return false;
}

void ListBox::AddItem(std::string item) {
  items_.push_back(std::move(item));
  Changed(Property::Items);
}

void ListBox::ClearItems() {
  items_.clear();
  itemIndex_ = -1;
  Changed(Property::Items);
}

void ListBox::SetItemIndex(int index) {
  if (index < -1 || index >= Count()) return;
  itemIndex_ = index;
  Changed(Property::ItemIndex);
}

std::string ListBox::SelectedText() const { return itemIndex_ < 0 ? std::string() : items_[itemIndex_]; }

void ListBox::UserSelect(int index) {
  SetItemIndex(index);
  if (OnClick) OnClick();
}

void ListBox::UserDoubleClick(int index) {
  UserSelect(index);
  DoubleClick();
}

}  // namespace kvx::ui
