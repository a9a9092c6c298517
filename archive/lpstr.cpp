#include "archive/lpstr.h"

#include <algorithm>
#include <cstring>

namespace kvx {
namespace {

constexpr size_t kStreamReadLimit = 32768;
constexpr uint8_t kPCharMarker = 10;

}  // namespace

TLPStr::TLPStr(uint16_t capacity) {
  if (capacity) SetSize(capacity);
}

size_t TLPStr::Length() const { return buffer_.empty() ? 0 : std::strlen(buffer_.data()); }

void TLPStr::Clear() {
  if (fixed_) {
    if (!buffer_.empty()) buffer_[0] = '\0';
    return;
  }
  buffer_.clear();
  buffer_.shrink_to_fit();
  capacity_ = 0;
}

std::string TLPStr::GetText() const { return buffer_.empty() ? std::string() : std::string(buffer_.data()); }

void TLPStr::SetText(const char* source) {
  Clear();
  if (!source) return;
  const size_t length = std::strlen(source);
  if (!buffer_.empty()) {
    const size_t kept = std::min<size_t>(length, capacity_ ? capacity_ - 1u : 0u);
    std::memcpy(buffer_.data(), source, kept);
    buffer_[kept] = '\0';
    return;
  }
  buffer_.assign(source, source + length + 1);
  capacity_ = static_cast<uint16_t>(length + 1);  // a 16-bit count, as the libraries' holders keep it
}

void TLPStr::SetSize(uint16_t size) {
  if (size == capacity_ && !buffer_.empty()) {
    fixed_ = true;
    return;
  }
  if (size == 0) {
    fixed_ = false;
    return;
  }
  std::vector<char> resized(size, '\0');
  const size_t kept = std::min<size_t>(Length(), size - 1u);
  if (kept) std::memcpy(resized.data(), buffer_.data(), kept);
  buffer_ = std::move(resized);
  capacity_ = size;
  fixed_ = true;
}

bool TLPStr::LoadFromStream(std::istream& in) {
  const size_t limit = fixed_ && capacity_ ? capacity_ : kStreamReadLimit;
  std::string data(limit, '\0');
  in.read(data.data(), static_cast<std::streamsize>(limit));
  const size_t got = static_cast<size_t>(in.gcount());
  if (got == limit) return false;
  data.resize(got);
  SetText(data.c_str());
  return true;
}

void TLPStr::SaveToStream(std::ostream& out) const { out.write(buffer_.data(), static_cast<std::streamsize>(Length())); }

std::vector<uint8_t> TLPStr::WritePChar() const {
  const size_t length = Length();
  if (length == 0) return {};
  const uint32_t stored = static_cast<uint32_t>(length + 1);
  std::vector<uint8_t> data{kPCharMarker};
  const auto* size = reinterpret_cast<const uint8_t*>(&stored);
  data.insert(data.end(), size, size + 4);
  data.insert(data.end(), buffer_.data(), buffer_.data() + length + 1);
  return data;
}

void TLPStr::ReadPChar(std::span<const uint8_t> data) {
  if (data.size() < 5 || data[0] != kPCharMarker) return;
  int32_t length = 0;
  std::memcpy(&length, data.data() + 1, 4);
  if (length <= 0 || data.size() < 5 + static_cast<size_t>(length)) return;
  const std::string text(reinterpret_cast<const char*>(data.data() + 5), static_cast<size_t>(length) - 1);
  SetText(text.c_str());
}

}  // namespace kvx
