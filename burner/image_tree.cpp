// The image tree: folders and files, capacities, name rules and the lookups by path
// and by name (indexed, with the results of a scan in creation/list order).
#include <algorithm>
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
std::string KeptSourceFolder(std::string_view SourceFile) {
  std::string_view folder = SourceFile.substr(0, SourceFile.rfind('\\') + 1);
  if (!folder.starts_with("\\\\")) return std::string(folder.substr(std::min<size_t>(2, folder.size())));
  const size_t share = folder.find('\\', 2);
  const size_t rest = share == std::string_view::npos ? share : folder.find('\\', share + 1);
  return rest == std::string_view::npos ? std::string() : std::string(folder.substr(rest));
}

}  // namespace

ImageLayout::ImageLayout(LayoutDevice& Device) : device_(Device) {}

void ImageLayout::ResetImage(int MaxFiles_, int MaxDirectories_) {
  GMTOffset = static_cast<int16_t>(LocalNow().GmtOffsetMinutes / 15);
  ImageHeader.clear();
  ImageHeader.shrink_to_fit();
  Entries.clear();
  Directories.clear();
  ISOPathOrder.clear();
  JolietPathOrder.clear();
  directories_by_path_.clear();
  entries_by_name_.clear();
  MaxFiles = MaxFiles_;
  MaxDirectories = std::max(1, MaxDirectories_);  // the root always exists
  Entries.reserve(MaxFiles > 0 ? MaxFiles : 0);
  Directories.reserve(MaxDirectories > 0 ? MaxDirectories : 0);
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

void ImageLayout::AppendToFolder(TISODirectory* Dir, TISOEntry* Entry) {
  if (Dir->LastEntry)
    Dir->LastEntry->Next = Entry;
  else
    Dir->FirstEntry = Entry;
  Dir->LastEntry = Entry;
}

std::string ImageLayout::EntryKey(const TISODirectory* Dir, std::u16string_view Name) const {
  std::string key(reinterpret_cast<const char*>(&Dir->Index), sizeof Dir->Index);
  key.reserve(key.size() + 2 * Name.size());
  for (char16_t c : Name) {
    if (!CaseSensitiveNames && c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    key += static_cast<char>(c & 0xFF);
    key += static_cast<char>(c >> 8);
  }
  return key;
}

// Entries of one folder under one key are chained in list order (which is creation
// order), so the head of the chain is what a scan of the list would meet first.
void ImageLayout::IndexEntry(TISOEntry* Entry) {
  TISOEntry*& head = entries_by_name_[Entry->NameKey];
  TISOEntry** link = &head;
  while (*link && (*link)->Index < Entry->Index) link = &(*link)->SameName;
  Entry->SameName = *link;
  *link = Entry;
}

void ImageLayout::UnindexEntry(TISOEntry* Entry) {
  auto found = entries_by_name_.find(Entry->NameKey);
  if (found == entries_by_name_.end()) return;
  TISOEntry** link = &found->second;
  while (*link && *link != Entry) link = &(*link)->SameName;
  if (*link) *link = Entry->SameName;
  Entry->SameName = nullptr;
  if (!found->second) entries_by_name_.erase(found);
}

TISODirectory* ImageLayout::FindDirectory(std::string_view Path) const {
  if (Path.empty() || Path == "\\") return Directories.empty() ? nullptr : Directories[0].get();
  if (Path.back() == '\\') Path.remove_suffix(1);
  const auto found = directories_by_path_.find(ASCIIUpper(Path));
  return found == directories_by_path_.end() ? nullptr : found->second;
}

TISOEntry* ImageLayout::FindEntry(const TISODirectory* Dir, std::string_view Name) const {
  std::u16string name = CP1252ToUTF16(Name);
  if (!HasDot(name)) name += u'.';
  return FindWideEntry(Dir, name);
}

TISOEntry* ImageLayout::FindWideEntry(const TISODirectory* Dir, std::u16string_view Name) const {
  const auto found = entries_by_name_.find(EntryKey(Dir, Name));
  return found == entries_by_name_.end() ? nullptr : found->second;
}

TISODirectory* ImageLayout::CreateDirectory(TISODirectory* Parent, std::string_view Name, uint32_t Attr,
                                             std::u16string_view WideName) {
  if (!Parent) return nullptr;
  if (!Name.empty() && Name.front() == '\\') Name.remove_prefix(1);
  if (!Name.empty() && Name.back() == '\\') Name.remove_suffix(1);
  const std::string short_name = ShortNameOf(Name);
  std::string full_path = Parent->Path + "\\" + std::string(Name);
  if (full_path.starts_with("\\\\")) full_path.erase(0, 1);
  if (TISODirectory* existing = FindDirectory(full_path)) return existing;
  // Both records or neither: a folder without its entry would leave the tree inconsistent.
  if (!NamesFitRecords(short_name, Name, false) || !HasRoomFor(true) || !HasRoomFor(false)) return nullptr;

  TISODirectory* dir = NewDirectoryRecord();
  TISOEntry* entry = NewEntryRecord();
  AppendToFolder(Parent, entry);
  dir->Parent = Parent;
  dir->LongName = Name;
  dir->ShortName = short_name;
  dir->Level = Parent->Level + 1;
  dir->Path = ASCIIUpper(full_path);
  directories_by_path_.emplace(dir->Path, dir);

  const ZonedTime now = LocalNow();
  entry->LongName = Name;
  entry->WideName = WideName.empty() ? CP1252ToUTF16(Name) : std::u16string(WideName);
  entry->ShortName = short_name;
  entry->Attr = Attr;
  entry->Directory = dir;
  entry->DateTime = LocalDateTime(now);
  entry->GmtOffsetMinutes = now.GmtOffsetMinutes;
  entry->NameKey = EntryKey(Parent, entry->WideName);
  IndexEntry(entry);
  return dir;
}

TISODirectory* ImageLayout::ForceDirectories(std::string_view Path) {
  if (TISODirectory* existing = FindDirectory(Path)) return existing;
  const size_t slash = Path.rfind('\\');
  if (slash == std::string_view::npos) return nullptr;
  TISODirectory* parent = ForceDirectories(Path.substr(0, slash));
  const std::string_view last = Path.substr(slash + 1);
  if (!parent || last.empty()) return nullptr;
  return CreateDirectory(parent, last, kAttrDirectory);
}

AddFileResult ImageLayout::AddFile(std::string_view DestinationPath, std::string_view SourceFile,
                                     bool KeepSourcePath) {
  TISODirectory* dir = nullptr;
  if (KeepSourcePath) {
    const std::string folder = KeptSourceFolder(SourceFile);
    ForceDirectories(folder);
    dir = FindDirectory(folder);
  } else {
    dir = FindDirectory(DestinationPath);
  }
  if (!dir) {
    device_.DebugMessage("INVALID DESTINATION PATH", 4);
    return AddFileResult::UnknownDestination;
  }
  FileSearchRecord record;
  if (!FindFile(SourceFile, kAttrAnyFile, record)) return AddFileResult::SourceMissing;
  AddSearchEntry(dir, record, SourceFile);
  return AddFileResult::Found;
}

bool ImageLayout::AddSearchEntry(TISODirectory* Dir, const FileSearchRecord& SearchRecord,
                                  std::string_view FullPath) {
  // A folder entry needs a folder record behind it: folders come in by CreateDirectory.
  if (!Dir || (SearchRecord.Attributes & kAttrDirectory)) return false;
  // The system's UTF-16 name keeps what Windows-1252 lacks.
  std::u16string wide_name = SearchRecord.WideName.empty() ? CP1252ToUTF16(SearchRecord.Name) : SearchRecord.WideName;
  if (!HasDot(wide_name)) wide_name += u'.';
  TISOEntry* existing = FindWideEntry(Dir, wide_name);
  std::string short_name = SearchRecord.AlternateName.empty() ? ASCIIUpper(SearchRecord.Name)
                                                               : SearchRecord.AlternateName;
  std::string long_name = SearchRecord.Name;
  if (!HasDot(short_name)) short_name += '.';
  if (!HasDot(long_name)) long_name += '.';
  const std::string added_long_name = long_name;
  const ZonedTime stamp = LocalTimeOf(SearchRecord.LastWrite);
  TDateTime date = LocalDateTime(stamp);
  const bool replace = existing && ReplaceFile && !existing->Directory;
  bool skip = false;
  const int64_t size = static_cast<int64_t>(SearchRecord.Size);
  if (OnAddFile) OnAddFile(std::string(FullPath), long_name, short_name, date, SearchRecord.Attributes, size, skip);

  if (skip || !NamesFitRecords(short_name, long_name, true)) return false;
  if (long_name != added_long_name) wide_name = CP1252ToUTF16(long_name);
  TISOEntry* entry = existing;
  if (!replace) {
    if (existing || !HasRoomFor(false)) return false;
    entry = NewEntryRecord();
    AppendToFolder(Dir, entry);
  }
  UnindexEntry(entry);
  entry->ShortName = ISOShortName(short_name);
  entry->LongName = long_name;
  entry->WideName = std::move(wide_name);
  entry->ISOSize = entry->JolietSize = size;
  entry->Attr = SearchRecord.Attributes;
  entry->DateTime = date;
  entry->GmtOffsetMinutes = date == LocalDateTime(stamp) ? stamp.GmtOffsetMinutes
                                                         : GmtOffsetMinutesAtLocal(DecodeDateTime(date));
  entry->SourcePath = FullPath;
  entry->NameKey = EntryKey(Dir, entry->WideName);
  IndexEntry(entry);
  return true;
}

}  // namespace kvx
