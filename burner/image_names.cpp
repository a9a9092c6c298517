// Identifiers of the image: ISO 9660 level 1 and Joliet names, made unique within each
// folder (the later entry of a clash takes a number), and the order of the records.
#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "burner/image_layout.h"
#include "burner/iso_records.h"

namespace kvx {
namespace {

constexpr size_t kISONameChars = 8;
constexpr size_t kISOExtensionChars = 3;
constexpr size_t kJolietChars = 64;
constexpr size_t kJolietExtensionChars = 16;  // a longer "extension" is part of the name

bool IsFile(const TISOEntry& entry) { return entry.Directory == nullptr; }

std::string DChars(std::string_view text, size_t limit) { return DCharacters(text.substr(0, limit)); }

// Cut to at most `limit` units without splitting a surrogate pair.
std::u16string_view CutUTF16(std::u16string_view text, size_t limit) {
  if (text.size() <= limit) return text;
  if (limit > 0 && text[limit - 1] >= 0xD800 && text[limit - 1] < 0xDC00) --limit;
  return text.substr(0, limit);
}

// Name and extension around the last dot; the extension keeps its dot.
template <class Text>
std::pair<Text, Text> SplitExtension(Text name, size_t longestExtension) {
  const size_t dot = name.rfind('.');
  if (dot == Text::npos || name.size() - dot > longestExtension + 1) return {name, Text()};
  return {name.substr(0, dot), name.substr(dot)};
}

// ECMA-119 9.3: names compared with the shorter padded by spaces, then extensions alike.
template <class Text>
int PaddedCompare(Text a, Text b) {
  const size_t n = std::max(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x = i < a.size() ? a[i] : ' ', y = i < b.size() ? b[i] : ' ';
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

template <class Text>
bool IdentifierLess(Text a, Text b) {
  const auto [nameA, extA] = SplitExtension(a, a.size());
  const auto [nameB, extB] = SplitExtension(b, b.size());
  const int byName = PaddedCompare(nameA, nameB);
  return byName != 0 ? byName < 0 : PaddedCompare(extA, extB) < 0;
}

char16_t FoldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);  // Latin-1 letters
  return c;
}

// A byte of an 8-bit name, folded as the Windows-1252 character it is (its letters from
// E0h on are Latin-1's); the result stays below 100h.
char FoldCase(char c) {
  return static_cast<char>(FoldCase(static_cast<char16_t>(static_cast<unsigned char>(c))));
}

// What a reader compares when it looks a name up: a file's trailing dot is dropped by
// many, and Windows ignores case.
template <class Text>
Text ClashKey(Text id, bool file, bool fold) {
  if (file && !id.empty() && id.back() == '.') id.pop_back();
  if (fold)
    for (auto& c : id) c = FoldCase(c);
  return id;
}

std::string ISONumbered(const std::string& candidate, bool file, unsigned number) {
  const auto [name, extension] = SplitExtension(std::string_view(candidate), file ? kISOExtensionChars : 0);
  std::string digits = std::to_string(number);
  if (digits.size() < 2) digits.insert(0, "0");
  return std::string(name.substr(0, kISONameChars - std::min(kISONameChars, digits.size()))) + digits +
         std::string(extension);
}

std::u16string JolietNumbered(const std::u16string& candidate, bool file, unsigned number) {
  const auto [name, extension] = SplitExtension(std::u16string_view(candidate), file ? kJolietExtensionChars : 0);
  const std::string tag = " (" + std::to_string(number) + ")";
  const std::u16string suffix = std::u16string(tag.begin(), tag.end()) + std::u16string(extension);
  return std::u16string(CutUTF16(name, kJolietChars - suffix.size())) + suffix;
}

// Gives every entry a free identifier: the candidate, else the candidate numbered from
// where the last clash of the same candidate stopped.
template <class Text, class Candidate, class Numbered>
void MakeUnique(const std::vector<TISOEntry*>& entries, bool fold, unsigned firstNumber, Candidate candidateOf,
                Numbered numbered, Text TISOEntry::*field) {
  std::unordered_set<Text> taken;
  std::unordered_map<Text, unsigned> nextNumber;
  taken.reserve(entries.size());
  for (TISOEntry* entry : entries) {
    const bool file = IsFile(*entry);
    Text id = candidateOf(*entry);
    if (!taken.insert(ClashKey(id, file, fold)).second) {
      unsigned& number = nextNumber.try_emplace(id, firstNumber).first->second;
      Text numberedId;
      do numberedId = numbered(id, file, number++);
      while (!taken.insert(ClashKey(numberedId, file, fold)).second);
      id = std::move(numberedId);
    }
    entry->*field = std::move(id);
  }
}

}  // namespace

std::string ShortNameOf(std::string_view name) {
  std::string out = DChars(name, kISONameChars);
  return out.empty() ? "_" : out;
}

std::string ISOShortName(std::string_view name) {
  const auto [stem, extension] = SplitExtension(name, name.size());
  std::string out = DChars(stem, kISONameChars);
  if (out.empty()) out = "_";
  return out + "." + DChars(extension.empty() ? extension : extension.substr(1), kISOExtensionChars);
}

// A Joliet identifier holds no control character and none of * / : ; ? \ (a ';' would read
// as the start of the version, so "a;1" and "a" would be found under one name).
namespace {
char16_t JolietChar(char16_t c) {
  return c < 0x20 || std::u16string_view(u"*/:;?\\").find(c) != std::u16string_view::npos ? u'_' : c;
}
}  // namespace

std::u16string JolietNameOf(std::u16string_view name) {
  std::u16string out(name);
  if (name.size() > kJolietChars) {
    const auto [stem, extension] = SplitExtension(name, kJolietExtensionChars);
    out = std::u16string(CutUTF16(stem, kJolietChars - extension.size())) + std::u16string(extension);
  }
  std::transform(out.begin(), out.end(), out.begin(), JolietChar);
  return out;
}

bool NamesFitRecords(std::string_view shortName, std::string_view longName, bool) {
  return !shortName.empty() && !longName.empty();
}

void ImageLayout::AssignIdentifiers(TISODirectory& dir) {
  std::vector<TISOEntry*> entries;
  for (TISOEntry* entry = dir.FirstEntry; entry; entry = entry->Next) entries.push_back(entry);
  MakeUnique<std::string>(
      entries, false, 1,
      [](const TISOEntry& e) { return IsFile(e) ? ISOShortName(e.ShortName) : ShortNameOf(e.ShortName); },
      ISONumbered, &TISOEntry::ShortName);
  MakeUnique<std::u16string>(
      entries, true, 2, [](const TISOEntry& e) { return JolietNameOf(e.WideName); }, JolietNumbered,
      &TISOEntry::JolietName);
  for (TISOEntry* entry : entries)
    if (entry->Directory) {
      entry->Directory->ShortName = entry->ShortName;
      entry->Directory->JolietName = entry->JolietName;
    }
  dir.ISOOrder = entries;
  std::sort(dir.ISOOrder.begin(), dir.ISOOrder.end(), [](const TISOEntry* a, const TISOEntry* b) {
    return IdentifierLess(std::string_view(a->ShortName), std::string_view(b->ShortName));
  });
  dir.JolietOrder = std::move(entries);
  std::sort(dir.JolietOrder.begin(), dir.JolietOrder.end(), [](const TISOEntry* a, const TISOEntry* b) {
    return IdentifierLess(std::u16string_view(a->JolietName), std::u16string_view(b->JolietName));
  });
}

// Path-table order: the root, then level by level each folder's sub-folders in the
// order of their records, sub-folders of lower-numbered folders first.
void ImageLayout::NumberDirectories(bool joliet) {
  if (Directories.empty()) return;
  std::vector<TISODirectory*> order;
  order.reserve(Directories.size());
  order.push_back(Directories[0].get());
  for (size_t next = 0; next < order.size(); ++next) {
    TISODirectory* parent = order[next];
    (joliet ? parent->JolietNumber : parent->Number) = static_cast<uint32_t>(next + 1);
    for (TISOEntry* entry : joliet ? parent->JolietOrder : parent->ISOOrder)
      if (entry->Directory) order.push_back(entry->Directory);
  }
  (joliet ? JolietPathOrder : ISOPathOrder) = std::move(order);
}

}  // namespace kvx
