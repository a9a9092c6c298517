#include "wizard/cd_burner.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <vector>

#include "base/exception_text.h"
#include "base/file_search.h"
#include "base/thread.h"
#include "ui/form.h"
#include "ui/native_windows.h"

namespace kvx {
namespace {

constexpr char kOwnerNotForm[] = "Error: Component must be owned by TForm";

ui::Form* RequireForm(ui::Component* owner) {
  auto* form = dynamic_cast<ui::Form*>(owner);
  if (!form) throw std::invalid_argument(kOwnerNotForm);
  return form;
}

std::string WithSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

int64_t FolderSize(const std::string& folder) {
  int64_t size = 0;
  FileSearch search;
  FileSearchRecord entry;
  for (bool found = search.First(folder + "*.*", kAttrAnyFile, entry); found; found = search.Next(entry)) {
    if (IsDotEntry(entry.Name)) continue;
    if (entry.Attributes & kAttrDirectory) size += FolderSize(folder + entry.Name + kPathSeparator);
    else size += static_cast<int64_t>(entry.Size);
  }
  return size;
}

// A file's size and CRC-32, enough to tell a copy that differs from it.
struct FileDigest {
  uint64_t Size = 0;
  uint32_t CRC = 0;
  bool operator==(const FileDigest&) const = default;
};

constexpr std::array<uint32_t, 256> kCRCTable = [] {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t crc = n;
    for (int bit = 0; bit < 8; ++bit) crc = crc >> 1 ^ (0xEDB88320 & (0 - (crc & 1)));
    table[n] = crc;
  }
  return table;
}();

// False when the file cannot be opened or read to its end.
bool DigestFile(const std::string& path, FileDigest& digest) {
  std::ifstream file(NativePath(path), std::ios::binary);
  if (!file) return false;
  std::vector<char> chunk(1 << 20);
  uint32_t crc = 0xFFFFFFFF;
  digest.Size = 0;
  while (file) {
    file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<size_t>(file.gcount());
    for (size_t i = 0; i < got; ++i) crc = crc >> 8 ^ kCRCTable[(crc ^ static_cast<uint8_t>(chunk[i])) & 0xFF];
    digest.Size += got;
  }
  digest.CRC = ~crc;
  return file.eof();
}

// The files of a folder and its subfolders by their path below it, with their digests.
using FolderDigests = std::map<std::string, FileDigest>;

bool DigestFolder(const std::string& folder, const std::string& below, FolderDigests& digests,
                  std::string& failure) {
  FileSearch search;
  FileSearchRecord entry;
  for (bool found = search.First(folder + below + "*.*", kAttrAnyFile, entry); found; found = search.Next(entry)) {
    if (IsDotEntry(entry.Name)) continue;
    const std::string name = below + entry.Name;
    if (entry.Attributes & kAttrDirectory) {
      if (!DigestFolder(folder, name + kPathSeparator, digests, failure)) return false;
    } else if (!DigestFile(folder + name, digests[name])) {
      failure = "Could not read the staged file " + folder + name;
      return false;
    }
  }
  return true;
}

}  // namespace

int EmptyFolder(const std::string& folder) {
  if (folder.empty()) throw std::runtime_error("ASSERT FAILED:  Will not EmptyFolder without explicit path.");
  std::error_code error;
  if (!std::filesystem::is_directory(NativePath(folder), error))
    throw std::runtime_error("ASSERT FAILED:  Folder not Found");
  const std::string base = WithSeparator(folder);
  int left = 0;
  FileSearch search;
  FileSearchRecord entry;
  for (bool found = search.First(base + "*.*", kAttrAnyFile, entry); found; found = search.Next(entry)) {
    if (IsDotEntry(entry.Name)) continue;
    const auto path = NativePath(base + entry.Name);
    if (entry.Attributes & kAttrDirectory) {
      left += EmptyFolder(base + entry.Name);
      if (!std::filesystem::remove(path, error)) ++left;
    } else if (!std::filesystem::remove(path, error) && std::filesystem::exists(path, error)) {
      ++left;
    }
  }
  return left;
}

// Copies the files into the staging area and runs the shell's burn; works on its own
// copies of what it needs. ended learns whether the service burned, else why not.
class TCDBurner::TBurnThread final : public TThread {
 public:
  using EndedFunction = std::function<void(bool burned, const std::string& failure)>;

  TBurnThread(CDBurnService::WorkerBurnFunction burn, std::vector<std::string> files, std::string burnArea,
              std::string discDrive, intptr_t ownerWindow, EndedFunction ended)
      : burn_(std::move(burn)), files_(std::move(files)), burnArea_(std::move(burnArea)),
        discDrive_(std::move(discDrive)), ownerWindow_(ownerWindow), ended_(std::move(ended)) {}

 protected:
  // The service empties the staging area once it has burned: what it holds is digested
  // before, for the read-back.
  void Execute() override {
    bool burned = false;
    std::string failure;
    try {
      Stage();
      FolderDigests staged;
      burned = (burnArea_.empty() || DigestFolder(burnArea_, "", staged, failure)) && burn_(ownerWindow_, failure) &&
               ReadBack(staged, failure);
    } catch (...) {
      failure = CurrentExceptionText();
    }
    ended_(burned, failure);
  }

 private:
  // A file of the same name already staged is kept: that copy fails and the burn goes on.
  void Stage() const {
    if (burnArea_.empty()) return;
    for (const std::string& file : files_) {
      std::error_code ignored;
      std::filesystem::copy_file(NativePath(file), NativePath(burnArea_ + FileNamePart(file)),
                                 std::filesystem::copy_options::none, ignored);
    }
  }

  // A burn counts once every staged file reads back from the disc's drive as it was staged.
  bool ReadBack(const FolderDigests& staged, std::string& failure) const {
    if (discDrive_.empty() && !staged.empty()) {
      failure = "The recorder has no drive letter: the disc cannot be read back";
      return false;
    }
    for (const auto& [name, digest] : staged) {
      const std::string onDisc = WithSeparator(discDrive_) + name;
      FileDigest read;
      if (!DigestFile(onDisc, read)) {
        failure = "Could not read " + onDisc + " back from the disc";
        return false;
      }
      if (!(read == digest)) {
        failure = onDisc + " on the disc differs from the file staged";
        return false;
      }
    }
    return true;
  }

  const CDBurnService::WorkerBurnFunction burn_;
  const std::vector<std::string> files_;
  const std::string burnArea_;
  const std::string discDrive_;
  const intptr_t ownerWindow_;
  const EndedFunction ended_;
};

TCDBurner::TCDBurner(ui::Component* owner, std::string name, std::unique_ptr<CDBurnService> service,
                     std::string stagingFolder)
    : ui::Component(RequireForm(owner), std::move(name)), service_(std::move(service)),
      burnArea_(WithSeparator(std::move(stagingFolder))) {
  std::string error;
  if (!service_->Open(error)) {
    lastError_ = "No XP Compatible CDR API present" + error;
    return;
  }
  if (!service_->HasRecordableDrive()) {
    lastError_ = "No CD Burner was found";
    return;
  }
  burnerDrive_ = service_->RecorderDriveLetter();
  equipped_ = true;
}

TCDBurner::~TCDBurner() {
  equipped_ = false;
  burnThread_.reset();  // waits for a running burn; its end is then dropped
}

bool TCDBurner::AddFile(const std::string& path) {
  FileSearchRecord match;
  if (!FindFile(path, kAttrAnyFile, match)) return false;
  files_.push_back(path);
  total_ += static_cast<int64_t>(match.Size);
  return true;
}

bool TCDBurner::AddFolder(const std::string& folder) {
  std::error_code error;
  if (!std::filesystem::is_directory(NativePath(folder), error)) return false;
  const std::string base = WithSeparator(folder);
  bool all = true;
  FileSearch search;
  FileSearchRecord entry;
  for (bool found = search.First(base + "*.*", kAttrAnyFile, entry); found; found = search.Next(entry)) {
    if (IsDotEntry(entry.Name)) continue;
    if (entry.Attributes & kAttrDirectory) AddFolder(base + entry.Name);  // its result does not count here
    else if (!AddFile(base + entry.Name)) all = false;
  }
  return all;
}

bool TCDBurner::ClearFiles() {
  files_.clear();
  total_ = 0;
  if (burning_) {
    lastError_ = "Cannot delete staging files while burning!";
    return false;
  }
  try {
    const int left = EmptyFolder(burnArea_);
    if (left > 0) lastError_ = "Could not delete " + std::to_string(left) + " files/folders in burn area";
    return left == 0;
  } catch (...) {
    lastError_ = CurrentExceptionText();
    return false;
  }
}

bool TCDBurner::StageFile(const std::string& path) {
  // The namesake is removed first: the mingw runtime's copy_file refuses to overwrite.
  std::error_code error;
  const std::filesystem::path target = NativePath(burnArea_ + FileNamePart(path));
  if (!burning_ && !burnArea_.empty() && std::filesystem::exists(NativePath(path), error)) {
    std::filesystem::remove(target, error);
    if (std::filesystem::copy_file(NativePath(path), target, error)) return true;
  }
  lastError_ = "Could not copy " + path + " to the burn area";
  return false;
}

int64_t TCDBurner::BurnSize() const { return total_ + (burnArea_.empty() ? 0 : FolderSize(burnArea_)); }

void TCDBurner::StartBurn() {
  if (burning_ || !equipped_) {
    if (OnBurnDone) OnBurnDone(-1);
    return;
  }
  burning_ = true;
  // The end is carried out on the GUI thread, and only while the component exists.
  auto ended = [this, alive = lifetime_.Watch()](bool burned, const std::string& failure) {
    ui::PostToGUI([this, alive, burned, failure] {
      if (alive.lock()) BurnEnded(burned, failure);
    });
  };
  // The last burn has ended (burning_ was cleared after it): replacing its thread joins it.
  burnThread_ = MakeOwnedThread<TBurnThread>(service_->WorkerBurn(), files_, burnArea_, burnerDrive_,
                                              ui::NativeWindowHandle(*OwnerForm()), std::move(ended));
  burnThreadFinished_ = burnThread_->FinishedEvent();
  burnThread_->Start();
}

void TCDBurner::BurnEnded(bool burned, const std::string& failure) {
  burning_ = false;
  if (!burned) lastError_ = failure;
  if (OnBurnDone) OnBurnDone(burned ? 0 : -1);
}

}  // namespace kvx
