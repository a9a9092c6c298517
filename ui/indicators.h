// Controls that show progress or decoration: the gauge, the picture and the copy animation.
#pragma once

#include <cstdint>
#include <string>

#include "ui/control.h"

namespace kvx::ui {

// A bar filled in proportion to its progress, with the percentage written in it.
class Gauge : public Control {
 public:
  Gauge(Container* parent, std::string name) : Control(parent, std::move(name), ControlKind::Gauge) {}

  int64_t MinValue() const { return min_; }
  int64_t MaxValue() const { return max_; }
  void SetMaxValue(int64_t max);
  int64_t Progress() const { return progress_; }
  // Kept within the gauge's range.
  void SetProgress(int64_t progress);
  void AddProgress(int64_t amount) { SetProgress(progress_ + amount); }
  int PercentDone() const;

  Color ForeColor() const { return foreColor_; }
  Color BackColor() const { return backColor_; }
  void SetColors(Color fore, Color back);

 private:
  int64_t min_ = 0;
  int64_t max_ = 100;
  int64_t progress_ = 0;
  Color foreColor_ = kNavy;
  Color backColor_ = kWhite;
};

// A decorative picture: a vertical gradient with a title written across it.
struct Picture {
  Color top = kNavy;
  Color bottom = kBlack;
  std::string title;
};

class Image : public Control {
 public:
  Image(Container* parent, std::string name) : Control(parent, std::move(name), ControlKind::Image) {}

  const Picture& GetPicture() const { return picture_; }
  void SetPicture(Picture picture);

 private:
  Picture picture_;
};

// The system's file-copy animation, played while Active.
class Animate : public Control {
 public:
  Animate(Container* parent, std::string name) : Control(parent, std::move(name), ControlKind::Animate) {}

  bool Active() const { return active_; }
  void SetActive(bool active);

 private:
  bool active_ = false;
};

}  // namespace kvx::ui
