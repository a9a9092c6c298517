// The base of every form part: a named component that keeps its own state and, when
// its form has real windows, a peer of the window binding that mirrors that state.
#pragma once

#include <cstdint>
#include <string>

namespace kvx::ui {

class Form;

// What changed in a component's state, so that a peer updates only that.
enum class Property {
  Caption,
  Text,
  Items,
  ItemIndex,
  Enabled,
  Visible,
  Checked,
  Bounds,
  Font,
  Progress,
  Lines,
  Active,
  ActivePage,
  Picture,
  Repaint,
};

// The window side of a component: created by the window binding when the form gets
// its windows, destroyed with them. GUI thread only.
class Peer {
 public:
  virtual ~Peer() = default;
  virtual void Update(Property property) = 0;
};

class Component {
 public:
  Component(Form* owner, std::string name);
  virtual ~Component();
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  const std::string& Name() const { return name_; }
  Form* OwnerForm() const { return owner_; }

  Peer* GetPeer() const { return peer_; }
  void AttachPeer(Peer* peer) { peer_ = peer; }

 protected:
  // Tells the peer, if any, that a property changed.
  void Changed(Property property) {
    if (peer_) peer_->Update(property);
  }

 private:
  Form* owner_;
  std::string name_;
  Peer* peer_ = nullptr;
};

}  // namespace kvx::ui
