// Push buttons (with an optional picture), check boxes and radio buttons.
#pragma once

#include <functional>

#include "ui/control.h"

namespace kvx::ui {

// Pictures a button can carry beside its caption.
enum class Glyph { None, Diskette, CDROM, Drive, Folder, Save, Quit, Restore, Search, Erase };

class Button : public Control {
 public:
  Button(Container* parent, std::string name) : Control(parent, std::move(name), ControlKind::Button) {}

  Glyph GetGlyph() const { return glyph_; }
  void SetGlyph(Glyph glyph);

  // Runs OnClick, as a press of the button does.
  void Click() {
    if (OnClick) OnClick();
  }

  std::function<void()> OnClick;

 private:
  Glyph glyph_ = Glyph::None;
};

// Check boxes and radio buttons: a checked state that the user's click changes, then OnClick.
class ToggleButton : public Control {
 public:
  ToggleButton(Container* parent, std::string name, ControlKind kind) : Control(parent, std::move(name), kind) {}

  bool Checked() const { return checked_; }
  virtual void SetChecked(bool checked);
  void UserClick();

  std::function<void()> OnClick;

 protected:
  // The state a click leaves.
  virtual bool ClickedState() const = 0;

 private:
  bool checked_ = false;
};

class CheckBox : public ToggleButton {
 public:
  CheckBox(Container* parent, std::string name) : ToggleButton(parent, std::move(name), ControlKind::CheckBox) {}

 protected:
  bool ClickedState() const override { return !Checked(); }
};

// Checking a radio button clears the other radio buttons of its parent.
class RadioButton : public ToggleButton {
 public:
  RadioButton(Container* parent, std::string name) : ToggleButton(parent, std::move(name), ControlKind::RadioButton) {}
  void SetChecked(bool checked) override;

 protected:
  bool ClickedState() const override { return true; }
};

}  // namespace kvx::ui
