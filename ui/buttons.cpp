#include "ui/buttons.h"

namespace kvx::ui {

void Button::SetGlyph(Glyph glyph) {
  glyph_ = glyph;
  Changed(Property::Picture);
}

void ToggleButton::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  Changed(Property::Checked);
}

void ToggleButton::UserClick() {
  SetChecked(ClickedState());
  if (OnClick) OnClick();
}

void RadioButton::SetChecked(bool checked) {
  const bool wasChecked = Checked();
  ToggleButton::SetChecked(checked);
  if (!checked || wasChecked || !Parent()) return;
  for (Control* sibling : Parent()->Children())
    if (sibling != this && sibling->Kind() == ControlKind::RadioButton) static_cast<RadioButton*>(sibling)->SetChecked(false);
}

}  // namespace kvx::ui
