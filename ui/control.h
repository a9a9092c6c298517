// Visual controls: a control has a parent container, a position in it, a caption, a
// font and the enabled/visible state; containers hold their children in creation order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/component.h"

namespace kvx::ui {

// 0x00BBGGRR like the platform's colour values; values with the top bit set name a
// system colour by its index in the low byte.
using Color = uint32_t;
inline constexpr Color kBlack = 0x000000;
inline constexpr Color kWhite = 0xFFFFFF;
inline constexpr Color kRed = 0x0000FF;
inline constexpr Color kNavy = 0x800000;
inline constexpr Color kSystemColor = 0x80000000;
inline constexpr Color kButtonFace = kSystemColor | 15;
inline constexpr Color kWindowText = kSystemColor | 8;
inline constexpr Color kWindow = kSystemColor | 5;

struct Font {
  std::string face = "MS Sans Serif";
  int height = 13;  // pixels
  bool bold = false;
  Color color = kWindowText;
};

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

enum class ControlKind {
  Form,
  Label,
  Button,
  Edit,
  Memo,
  ComboBox,
  DriveComboBox,
  ListBox,
  CheckBox,
  RadioButton,
  GroupBox,
  Panel,
  PageControl,
  TabSheet,
  Gauge,
  Image,
  Animate,
};

class Container;

class Control : public Component {
 public:
  Control(Container* parent, std::string name, ControlKind kind);

  ControlKind Kind() const { return kind_; }
  Container* Parent() const { return parent_; }

  const Rect& Bounds() const { return bounds_; }
  void SetBounds(int left, int top, int width, int height);
  void SetWidth(int width);

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // Visible with every parent, a tab sheet counting only while it is the active page.
  virtual bool Showing() const;

  // The control's own font, or its parent's when it has none.
  const Font& GetFont() const;
  void SetFont(Font font);

  const std::string& Hint() const { return hint_; }
  void SetHint(std::string hint) { hint_ = std::move(hint); }

  // Paints the control at once instead of waiting for the next paint.
  void Repaint() { Changed(Property::Repaint); }

 protected:
  // A form is a control with no parent, its own owner.
  Control(Form* form, std::string name);
  // Lets a control place what it holds after its own bounds changed.
  virtual void BoundsChanged() {}

 private:
  Container* parent_;
  ControlKind kind_;
  Rect bounds_;
  std::string caption_;
  bool enabled_ = true;
  bool visible_ = true;
  std::optional<Font> font_;
  std::string hint_;
};

class Container : public Control {
 public:
  using Control::Control;
  const std::vector<Control*>& Children() const { return children_; }

 private:
  friend class Control;
  std::vector<Control*> children_;
};

}  // namespace kvx::ui
