// The image tree: folders and files, capacities, name rules and the lookups by path
// and by name (indexed, with the results of a scan in creation/list order).
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>

#include "base/ascii_case.h"
#include "base/cp1252.h"
#include "base/local_time.h"
#include "burner/image_layout.h"
#include "burner/iso_records.h"

namespace kvx {
namespace {

std::string Formatted(const char* pattern, int value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

template <class Text>
bool HasDot(const Text& name) { return name.find('.') != Text::npos; }

TDateTime LocalDateTime(const ZonedTime& zoned) { return EncodeDateTime(zoned.Local); }

// The folder part of a source path as an image path: "C:\A\B\f" gives "\A\B\",
// "\\server\share\A\f" gives "\A\".
std::string KeptSourceFolder(std::string_view sourceFile) {
  std::string_view folder = sourceFile.substr(0, sourceFile.rfind('\\') + 1);
  if (!folder.starts_with("\\\\")) return std::string(folder.substr(std::min<size_t>(2, folder.size())));
  const size_t share = folder.find('\\', 2);
  const size_t rest = share == std::string_view::npos ? share : folder.find('\\', share + 1);
  return rest == std::string_view::npos ? std::string() : std::string(folder.substr(rest));
}

}  // namespace

ImageLayout::ImageLayout(LayoutDevice& device) : device_(device) {}

void ImageLayout::ResetImage(int maxFiles, int maxDirectories) {
  GMTOffset = static_cast<int16_t>(LocalNow().GmtOffsetMinutes / 15);
  ImageHeader.clear();
  ImageHeader.shrink_to_fit();
  Entries.clear();
  Directories.clear();
  ISOPathOrder.clear();
  JolietPathOrder.clear();
  directoriesByPath_.clear();
  entriesByName_.clear();
  MaxFiles = maxFiles;
  MaxDirectories = std::max(1, maxDirectories);  // the root always exists
  Entries.reserve(static_cast<size_t>(std::max(MaxFiles, 0)));
  Directories.reserve(static_cast<size_t>(std::max(MaxDirectories, 0)));
  ISOPathOrder.reserve(Directories.capacity());
  JolietPathOrder.reserve(Directories.capacity());

  if (!HasRoomFor(true)) return;
  TISODirectory* root = NewDirectoryRecord();
  root->Path = "\\";
  root->ShortName = "CD_ROOT";
  root->LongName = "CD Root Directory";
  root->Level = 1;
  root->Parent = root;
}

bool ImageLayout::HasRoomFor(bool directory) {
  if (directory && static_cast<int>(Directories.size()) >= MaxDirectories) {
    device_.DebugMessage(">>> " + Formatted("MAXIMUM DIRECTORIES CAN BE %d", MaxDirectories), 3);
    return false;
  }
  if (!directory && static_cast<int>(Entries.size()) >= MaxFiles) {
    device_.DebugMessage(Formatted("MAXIMUM FILES CAN BE %d", MaxFiles), 3);
    return false;
  }
  return true;
}

TISODirectory* ImageLayout::NewDirectoryRecord() {
  auto dir = std::make_unique<TISODirectory>();
  dir->Index = static_cast<uint32_t>(Directories.size());
  ISOPathOrder.push_back(dir.get());
  JolietPathOrder.push_back(dir.get());
  Directories.push_back(std::move(dir));
  return Directories.back().get();
}

TISOEntry* ImageLayout::NewEntryRecord() {
  auto entry = std::make_unique<TISOEntry>();
  entry->Index = static_cast<uint32_t>(Entries.size());
  Entries.push_back(std::move(entry));
  return Entries.back().get();
}

void ImageLayout::AppendToFolder(TISODirectory* dir, TISOEntry* entry) {
  if (dir->LastEntry)
    dir->LastEntry->Next = entry;
  else
    dir->FirstEntry = entry;
  dir->LastEntry = entry;
}

std::string ImageLayout::EntryKey(const TISODirectory* dir, std::u16string_view name) const {
  std::string key(reinterpret_cast<const char*>(&dir->Index), sizeof dir->Index);
  key.reserve(key.size() + 2 * name.size());
  for (char16_t c : name) {
    if (!CaseSensitiveNames && c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    key += static_cast<char>(c & 0xFF);
    key += static_cast<char>(c >> 8);
  }
  return key;
}

// Entries of one folder under one key are chained in list order (which is creation
// order), so the head of the chain is what a scan of the list would meet first.
void ImageLayout::IndexEntry(TISOEntry* entry) {
  TISOEntry*& head = entriesByName_[entry->NameKey];
  TISOEntry** link = &head;
  while (*link && (*link)->Index < entry->Index) link = &(*link)->SameName;
  entry->SameName = *link;
  *link = entry;
}

void ImageLayout::UnindexEntry(TISOEntry* entry) {
  auto found = entriesByName_.find(entry->NameKey);
  if (found == entriesByName_.end()) return;
  TISOEntry** link = &found->second;
  while (*link && *link != entry) link = &(*link)->SameName;
  if (*link) *link = entry->SameName;
  entry->SameName = nullptr;
  if (!found->second) entriesByName_.erase(found);
}

TISODirectory* ImageLayout::FindDirectory(std::string_view path) const {
  if (path.empty() || path == "\\") return Directories.empty() ? nullptr : Directories[0].get();
  if (path.back() == '\\') path.remove_suffix(1);
  const auto found = directoriesByPath_.find(ASCIIUpper(path));
  return found == directoriesByPath_.end() ? nullptr : found->second;
}

TISOEntry* ImageLayout::FindEntry(const TISODirectory* dir, std::string_view name) const {
  std::u16string wide = CP1252ToUTF16(name);
  if (!HasDot(wide)) wide += u'.';
  return FindWideEntry(dir, wide);
}

TISOEntry* ImageLayout::FindWideEntry(const TISODirectory* dir, std::u16string_view name) const {
  const auto found = entriesByName_.find(EntryKey(dir, name));
  return found == entriesByName_.end() ? nullptr : found->second;
}

TISODirectory* ImageLayout::CreateDirectory(TISODirectory* parent, std::string_view name, uint32_t attr,
                                             std::u16string_view wideName) {
  if (!parent) return nullptr;
  if (!name.empty() && name.front() == '\\') name.remove_prefix(1);
  if (!name.empty() && name.back() == '\\') name.remove_suffix(1);
  const std::string shortName = ShortNameOf(name);
  std::string fullPath = parent->Path + "\\" + std::string(name);
  if (fullPath.starts_with("\\\\")) fullPath.erase(0, 1);
  if (TISODirectory* existing = FindDirectory(fullPath)) return existing;
  // Both records or neither: a folder without its entry would leave the tree inconsistent.
  if (!NamesFitRecords(shortName, name, false) || !HasRoomFor(true) || !HasRoomFor(false)) return nullptr;

  TISODirectory* dir = NewDirectoryRecord();
  TISOEntry* entry = NewEntryRecord();
  AppendToFolder(parent, entry);
  dir->Parent = parent;
  dir->LongName = name;
  dir->ShortName = shortName;
  dir->Level = parent->Level + 1;
  dir->Path = ASCIIUpper(fullPath);
  directoriesByPath_.emplace(dir->Path, dir);

  const ZonedTime now = LocalNow();
  entry->LongName = name;
  entry->WideName = wideName.empty() ? CP1252ToUTF16(name) : std::u16string(wideName);
  entry->ShortName = shortName;
  entry->Attr = attr;
  entry->Directory = dir;
  entry->DateTime = LocalDateTime(now);
  entry->GmtOffsetMinutes = now.GmtOffsetMinutes;
  entry->NameKey = EntryKey(parent, entry->WideName);
  IndexEntry(entry);
  return dir;
}

TISODirectory* ImageLayout::ForceDirectories(std::string_view path) {
  if (TISODirectory* existing = FindDirectory(path)) return existing;
  const size_t slash = path.rfind('\\');
  if (slash == std::string_view::npos) return nullptr;
  TISODirectory* parent = ForceDirectories(path.substr(0, slash));
  const std::string_view last = path.substr(slash + 1);
  if (!parent || last.empty()) return nullptr;
  return CreateDirectory(parent, last, kAttrDirectory);
}

AddFileResult ImageLayout::AddFile(std::string_view destinationPath, std::string_view sourceFile,
                                     bool keepSourcePath) {
  TISODirectory* dir = nullptr;
  if (keepSourcePath) {
    const std::string folder = KeptSourceFolder(sourceFile);
    ForceDirectories(folder);
    dir = FindDirectory(folder);
  } else {
    dir = FindDirectory(destinationPath);
  }
  if (!dir) {
    device_.DebugMessage("INVALID DESTINATION PATH", 4);
    return AddFileResult::UnknownDestination;
  }
  FileSearchRecord record;
  if (!FindFile(sourceFile, kAttrAnyFile, record)) return AddFileResult::SourceMissing;
  AddSearchEntry(dir, record, sourceFile);
  return AddFileResult::Found;
}

bool ImageLayout::AddSearchEntry(TISODirectory* dir, const FileSearchRecord& searchRecord,
                                  std::string_view fullPath) {
  // A folder entry needs a folder record behind it: folders come in by CreateDirectory.
  if (!dir || (searchRecord.Attributes & kAttrDirectory)) return false;
  // The system's UTF-16 name keeps what Windows-1252 lacks.
  std::u16string wideName = searchRecord.WideName.empty() ? CP1252ToUTF16(searchRecord.Name) : searchRecord.WideName;
  if (!HasDot(wideName)) wideName += u'.';
  TISOEntry* existing = FindWideEntry(dir, wideName);
  std::string shortName = searchRecord.AlternateName.empty() ? ASCIIUpper(searchRecord.Name)
                                                               : searchRecord.AlternateName;
  std::string longName = searchRecord.Name;
  if (!HasDot(shortName)) shortName += '.';
  if (!HasDot(longName)) longName += '.';
  const std::string addedLongName = longName;
  const ZonedTime stamp = LocalTimeOf(searchRecord.LastWrite);
  const TDateTime stampDate = LocalDateTime(stamp);
  TDateTime date = stampDate;
  const bool replace = existing && ReplaceFile && !existing->Directory;
  bool skip = false;
  const int64_t size = static_cast<int64_t>(searchRecord.Size);
  if (OnAddFile) OnAddFile(std::string(fullPath), longName, shortName, date, searchRecord.Attributes, size, skip);

  if (skip || !NamesFitRecords(shortName, longName, true)) return false;
  if (longName != addedLongName) wideName = CP1252ToUTF16(longName);
  TISOEntry* entry = existing;
  if (!replace) {
    if (existing || !HasRoomFor(false)) return false;
    entry = NewEntryRecord();
    AppendToFolder(dir, entry);
  }
  UnindexEntry(entry);
  entry->ShortName = ISOShortName(shortName);
  entry->LongName = longName;
  entry->WideName = std::move(wideName);
  entry->ISOSize = entry->JolietSize = size;
  entry->Attr = searchRecord.Attributes;
  entry->DateTime = date;
  // The date the handler left, compared bit for bit: a comparison of doubles may see one side
  // still in an x87 register, wider than the stored one. An unchanged date keeps the offset of
  // its instant (the hour that occurs twice in autumn has two).
  const bool dateKept = std::bit_cast<uint64_t>(date) == std::bit_cast<uint64_t>(stampDate);
  entry->GmtOffsetMinutes = dateKept ? stamp.GmtOffsetMinutes : GmtOffsetMinutesAtLocal(DecodeDateTime(date));
  entry->SourcePath = fullPath;
  entry->NameKey = EntryKey(dir, entry->WideName);
  IndexEntry(entry);
  return true;
}

}  // namespace kvx
