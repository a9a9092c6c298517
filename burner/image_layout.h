// The image tree of a data disc and its layout as one ISO 9660 track with a Joliet
// supplementary volume: folders and files collected from disk, numbered in path-table
// order, given sectors, and everything before the file data rendered into the image
// header. File contents stay on disk; the writer sends the header, then every file of
// `Entries` in order, each padded to whole sectors.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/date_time.h"
#include "base/file_search.h"
#include "scsi/disc_kinds.h"

namespace kvx {

struct TISOEntry;

// One folder of the image, the root included.
struct TISODirectory {
  std::string ShortName;    // ISO 9660 identifier
  std::string LongName;     // name as added (Windows-1252)
  std::u16string JolietName;  // Joliet identifier, unique in its folder
  int64_t ISOSize = 0;      // bytes of its ISO 9660 directory records, whole sectors
  int64_t JolietSize = 0;   // the same for Joliet
  std::string Path;         // "\" or "\LONG\NAMES" in upper case
  uint32_t ISOSector = 0;   // sector offset of its records in the ISO record area
  uint32_t JolietSector = 0;
  int Level = 1;            // the root is 1
  uint32_t Number = 0;      // 1-based position in the path tables
  TISODirectory* Parent = nullptr;  // the root is its own parent
  TISOEntry* FirstEntry = nullptr;

  uint32_t Index = 0;              // position in Directories
  TISOEntry* LastEntry = nullptr;  // end of the entry list, for appending
  uint32_t JolietNumber = 0;       // 1-based position in the Joliet path tables
  // The entries in the order of their directory records in each tree.
  std::vector<TISOEntry*> ISOOrder, JolietOrder;
};

// One file or sub-folder inside a folder.
struct TISOEntry {
  std::string ShortName;
  std::string LongName;
  std::string SourcePath;  // empty for folders
  TDateTime DateTime = 0;  // local time
  int64_t ISOSize = 0;
  int64_t JolietSize = 0;
  uint32_t ISOExtent = 0;  // files: from the first file sector; folders: the folder's ISOSector
  uint32_t JolietExtent = 0;
  uint32_t Attr = 0;
  TISODirectory* Directory = nullptr;  // the folder this entry stands for; nil for files
  TISOEntry* Next = nullptr;

  uint32_t Index = 0;            // position in Entries, which is also its order in its folder
  int GmtOffsetMinutes = 0;      // offset from UTC in effect at DateTime
  std::string NameKey;           // folder and UTF-16 name (ASCII upper case unless CaseSensitiveNames)
  TISOEntry* SameName = nullptr; // next entry of the folder under the same key, in list order
  std::u16string WideName;       // the long name in UTF-16, as the system gave it
  std::u16string JolietName;     // Joliet identifier without ";1", unique in its folder
  // A file recorded by an earlier session: its data stays where it is, at this sector.
  bool EarlierSession = false;
  uint32_t SessionExtent = 0;
};

// What the layout needs from the recorder: the disc it writes on, the device layer's
// debug switch and its debug output.
class LayoutDevice {
 public:
  virtual ~LayoutDevice() = default;
  virtual scsi::DiscKind GetDiscType() = 0;
  // Waits for the unit, reads where the next track starts; false when that failed.
  virtual bool ReadNextWritableAddress(uint32_t& startSector) = 0;
  virtual void SetDoDebug(bool value) = 0;
  virtual void DebugMessage(const std::string& message, uint8_t mType) = 0;
  // Start of the disc's last recorded session; false when there is none to read.
  virtual bool ReadLastSessionStart(uint32_t& sector) {
    (void)sector;
    return false;
  }
  // Count sectors of 2048 bytes from Sector into Buffer.
  virtual bool ReadSectors(uint32_t sector, uint16_t count, uint8_t* buffer) {
    (void)sector, (void)count, (void)buffer;
    return false;
  }
};

// Called for every file being added; the handler may change the names, the date and Skip.
using TAddFileEvent = std::function<void(const std::string& fullPath, std::string& longFileName,
                                         std::string& shortFileName, TDateTime& dateTime, uint32_t attr,
                                         int64_t fileSize, bool& skip)>;

// What AddFile did with a source file.
enum class AddFileResult : uint8_t {
  UnknownDestination = 0,  // no folder of the image has the destination path
  Found = 1,               // the source file exists (added, or skipped by OnAddFile)
  SourceMissing = 255,
};

class ImageLayout {
 public:
  explicit ImageLayout(LayoutDevice& device);
  ImageLayout(const ImageLayout&) = delete;
  ImageLayout& operator=(const ImageLayout&) = delete;

  // Volume identification carried by the descriptors.
  std::string IdVolume, IdSystem, IdVolumeSet, IdPublisher, IdPreparer, IdApplication;
  std::string FileCopyright, FileAbstract, FileBibliographic;
  TDateTime DateCreation = 0;
  TDateTime DateModification = 0;
  bool JolietFileSystem = true;
  bool ReplaceFile = false;
  bool WritePostGap = true;
  // Names that differ only by case are different files (a case-sensitive source).
  bool CaseSensitiveNames = false;
  // On an appendable disc, the new tree also holds the files of the last session.
  bool ImportPreviousSession = false;
  // Set by a build that was to bring the last session in and could not read it.
  bool PreviousSessionUnreadable = false;
  TAddFileEvent OnAddFile;

  // Empties the tree and the image header, sets the capacities, creates the root.
  void ResetImage(int maxFiles, int maxDirectories);
  TISODirectory* FindDirectory(std::string_view path) const;
  // One folder under Parent; the existing one when its path is already in the image.
  // WideName, when given, is the name in UTF-16 as the system gave it.
  TISODirectory* CreateDirectory(TISODirectory* parent, std::string_view name, uint32_t attr,
                                 std::u16string_view wideName = {});
  TISODirectory* ForceDirectories(std::string_view path);
  AddFileResult AddFile(std::string_view destinationPath, std::string_view sourceFile, bool keepSourcePath);
  // Adds (or replaces) one file of a directory search; true when an entry was filled.
  bool AddSearchEntry(TISODirectory* dir, const FileSearchRecord& searchRecord, std::string_view fullPath);
  // First entry of Dir whose long name matches, without regard to ASCII case unless
  // CaseSensitiveNames.
  TISOEntry* FindEntry(const TISODirectory* dir, std::string_view name) const;
  // The same by the UTF-16 name, which keeps what Windows-1252 lacks.
  TISOEntry* FindWideEntry(const TISODirectory* dir, std::u16string_view name) const;

  void BuildImage(bool skipDiscQuery);
  void ComputeLayout(bool skipDiscQuery);
  void WriteImageHeader();
  int64_t GetTrackSize() const;

  // Tables sized by ResetImage.
  std::vector<std::unique_ptr<TISODirectory>> Directories;  // creation order, root first
  std::vector<TISODirectory*> ISOPathOrder;
  std::vector<TISODirectory*> JolietPathOrder;
  std::vector<std::unique_ptr<TISOEntry>> Entries;  // creation order
  int MaxFiles = 0;
  int MaxDirectories = 0;
  int16_t GMTOffset = 0;  // 15-minute units, now

  // Layout results; byte positions are absolute on the disc.
  scsi::DiscKind DiscType = scsi::DiscKind::Unknown;
  uint32_t StartSector = 0;
  int64_t PrimaryDescriptorPos = 0, JolietDescriptorPos = 0, TerminatorPos = 0;
  int64_t ISOPathTableLPos = 0, ISOPathTableMPos = 0, JolietPathTableLPos = 0, JolietPathTableMPos = 0;
  int64_t ISOPathTableSize = 0, JolietPathTableSize = 0;
  int64_t ISODirRecordsPos = 0, JolietDirRecordsPos = 0, ISODirRecordsSize = 0, JolietDirRecordsSize = 0;
  int64_t FirstFilePos = 0;
  int64_t HeaderPadding = 0;
  int64_t FileSectors = 0;
  int64_t EndSector = 0;
  int64_t TrackSectors = 0;

  // Everything before the file data, from StartSector to FirstFilePos.
  std::vector<uint8_t> ImageHeader;

 private:
  TISODirectory* NewDirectoryRecord();
  TISOEntry* NewEntryRecord();
  bool HasRoomFor(bool directory);
  void AppendToFolder(TISODirectory* dir, TISOEntry* entry);
  void IndexEntry(TISOEntry* entry);
  void UnindexEntry(TISOEntry* entry);
  std::string EntryKey(const TISODirectory* dir, std::u16string_view name) const;
  void QueryDisc();
  struct SessionWalk;
  void ImportSession();
  bool ImportFolder(TISODirectory* dir, uint32_t extent, uint32_t size, SessionWalk& walk, int depth);
  bool ImportRecord(TISODirectory* dir, const uint8_t* record, SessionWalk& walk, TISOEntry*& last, int depth);
  void AssignIdentifiers(TISODirectory& dir);
  void NumberDirectories(bool joliet);
  int64_t PathTableSize(bool joliet) const;
  int64_t FolderRecordsSize(const TISODirectory& dir, bool joliet) const;
  int64_t AllocateDirectoryRecords(bool joliet);
  void AssignFileExtents();
  void WritePathTable(bool joliet, bool bigEndian);
  void WriteDirectoryRecords(const TISODirectory& dir, bool joliet, const struct ZonedTime& now);
  void WriteVolumeDescriptor(bool joliet, const struct ZonedTime& now);

  LayoutDevice& device_;
  std::unordered_map<std::string, TISODirectory*> directoriesByPath_;
  std::unordered_map<std::string, TISOEntry*> entriesByName_;
};

// Name rules of the image (ISO 9660 level 1: d-characters, 8 + 3 for files, 8 for
// folders; Joliet: 64 UCS-2 characters). Identifiers are made unique per folder when
// the image is laid out.
// ISO 9660 identifier of a folder: upper case, every other character than A-Z, 0-9 and
// "_" replaced by "_", cut to 8.
std::string ShortNameOf(std::string_view name);
// ISO 9660 identifier of a file: the same rules for the name before the last dot (8)
// and the extension after it (3), always joined by one dot.
std::string ISOShortName(std::string_view name);
// Joliet identifier: the name itself when it has 64 characters or fewer, else shortened
// keeping its extension.
std::u16string JolietNameOf(std::u16string_view name);
// Whether names can be recorded at all (neither is empty).
bool NamesFitRecords(std::string_view shortName, std::string_view longName, bool isFile);

}  // namespace kvx
