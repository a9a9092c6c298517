#include "ui/control.h"


namespace kvx::ui {
namespace {

const Font& DefaultFont() {
  static const Font font;
  return font;
}

}  // namespace

Component::Component(Form* owner, std::string name) : owner_(owner), name_(std::move(name)) {}

Component::~Component() = default;

Control::Control(Container* parent, std::string name, ControlKind kind)
    : Component(parent->OwnerForm(), std::move(name)), parent_(parent), kind_(kind) {
  parent_->children_.push_back(this);
}

Control::Control(Form* form, std::string name)
    : Component(form, std::move(name)), parent_(nullptr), kind_(ControlKind::Form) {}

void Control::SetBounds(int left, int top, int width, int height) {
  bounds_ = {left, top, width, height};
  Changed(Property::Bounds);
  BoundsChanged();
}

void Control::SetWidth(int width) { SetBounds(bounds_.left, bounds_.top, width, bounds_.height); }

void Control::SetCaption(std::string caption) {
  if (caption == caption_) return;
  caption_ = std::move(caption);
  Changed(Property::Caption);
}

void Control::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Changed(Property::Enabled);
}

void Control::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  Changed(Property::Visible);
}

bool Control::Showing() const { return visible_ && (!parent_ || parent_->Showing()); }

const Font& Control::GetFont() const {
  if (font_) return *font_;
  return parent_ ? parent_->GetFont() : DefaultFont();
}

void Control::SetFont(Font font) {
  font_ = std::move(font);
  Changed(Property::Font);
}

}  // namespace kvx::ui
