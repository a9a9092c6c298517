#include "ui/indicators.h"

#include <algorithm>

namespace kvx::ui {

void Gauge::SetMaxValue(int64_t max) {
  max_ = std::max(max, min_);
  progress_ = std::min(progress_, max_);
  Changed(Property::Progress);
}

void Gauge::SetProgress(int64_t progress) {
  progress = std::clamp(progress, min_, max_);
  if (progress == progress_) return;
  progress_ = progress;
  Changed(Property::Progress);
}

int Gauge::PercentDone() const {
  if (max_ == min_) return 0;
  return static_cast<int>((progress_ - min_) * 100 / (max_ - min_));
}

void Gauge::SetColors(Color fore, Color back) {
  foreColor_ = fore;
  backColor_ = back;
  Changed(Property::Repaint);
}

void Image::SetPicture(Picture picture) {
  picture_ = std::move(picture);
  Changed(Property::Picture);
}

void Animate::SetActive(bool active) {
  if (active == active_) return;
  active_ = active;
  Changed(Property::Active);
}

}  // namespace kvx::ui
