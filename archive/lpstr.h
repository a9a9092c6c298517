// TLPStr: the holder of one NUL-terminated 8-bit string that the zip libraries receive
// as a plain character pointer; growable, or fixed to an explicit capacity.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace kvx {

class TLPStr {
 public:
  explicit TLPStr(uint16_t capacity = 0);

  // A fixed holder keeps its buffer with an empty text; otherwise the buffer is freed.
  void Clear();
  // The text, or an empty text when the holder has none.
  std::string GetText() const;
  // Reads at most the capacity (fixed) or 32768 bytes; false ("Line too long") when the
  // read fills the whole buffer, and the holder is left as it was.
  bool LoadFromStream(std::istream& in);
  // Writes the text without its terminator.
  void SaveToStream(std::ostream& out) const;
  // Clears, then copies the source: cut at capacity - 1 into an existing buffer,
  // otherwise into a new buffer of its own length + 1. A null source leaves it empty.
  void SetText(const char* source);
  // Equal to the capacity: only marks the holder fixed; 0: clears the mark; otherwise a
  // new buffer of that size holds the old text cut at size - 1, and the holder is fixed.
  void SetSize(uint16_t size);

  // The buffer itself, null when there is none: what goes into the parameter records.
  const char* Text() const { return buffer_.empty() ? nullptr : buffer_.data(); }
  char* Buffer() { return buffer_.empty() ? nullptr : buffer_.data(); }
  uint16_t Capacity() const { return capacity_; }
  bool Fixed() const { return fixed_; }

  // Persistence as the raw-data property "PChar": marker 10, 32-bit length (text
  // length + 1), the text and its terminator; nothing for an empty text.
  std::vector<uint8_t> WritePChar() const;
  // Takes that layout back; lengths of 0 or less, and records too short, are ignored.
  void ReadPChar(std::span<const uint8_t> data);

 private:
  size_t Length() const;

  std::vector<char> buffer_;
  uint16_t capacity_ = 0;
  bool fixed_ = false;
};

}  // namespace kvx
