#include <windows.h>

#include <cwchar>

#include "base/cp1252.h"
#include "base/file_search.h"
#include "base/long_path.h"
#include "base/win32_scope.h"

namespace kvx {

// The wide calls with our own Windows-1252 conversion give the names the ANSI calls
// give under code page 1252, whatever code page the system runs.
struct FileSearch::State {
  win32::ScopedFind handle;
  uint32_t mask = 0;
};

namespace {

std::wstring Wide(std::string_view text) {
  const std::u16string units = CP1252ToUTF16(text);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(const wchar_t* text) {
  const std::wstring wide(text);
  return UTF16ToCP1252(std::u16string(wide.begin(), wide.end()));
}

void FillRecord(const WIN32_FIND_DATAW& data, FileSearchRecord& record) {
  record.Name = Narrow(data.cFileName);
  record.WideName.assign(data.cFileName, data.cFileName + std::wcslen(data.cFileName));
  record.AlternateName = Narrow(data.cAlternateFileName);
  record.Attributes = data.dwFileAttributes;
  record.Size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  record.LastWrite = static_cast<FileTimeUtc>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                              data.ftLastWriteTime.dwLowDateTime);
}

// Steps from the current find data to the first one the mask accepts.
bool SkipToMatch(FileSearch::State& state, WIN32_FIND_DATAW& data) {
  while (!MatchesAttributeMask(data.dwFileAttributes, state.mask))
    if (!FindNextFileW(state.handle.get(), &data)) return false;
  return true;
}

}  // namespace

FileSearch::FileSearch() = default;
FileSearch::~FileSearch() = default;

bool FileSearch::First(std::string_view pattern, uint32_t attributeMask, FileSearchRecord& record) {
  state_.reset();
  auto state = std::make_unique<State>();
  WIN32_FIND_DATAW data{};
  state->handle.reset(FindFirstFileW(LongPathForm(Wide(pattern)).c_str(), &data));
  if (!state->handle) return false;
  state->mask = attributeMask;
  if (!SkipToMatch(*state, data)) return false;
  FillRecord(data, record);
  state_ = std::move(state);
  return true;
}

bool FileSearch::Next(FileSearchRecord& record) {
  if (!state_) return false;
  WIN32_FIND_DATAW data{};
  if (!FindNextFileW(state_->handle.get(), &data) || !SkipToMatch(*state_, data)) {
    state_.reset();
    return false;
  }
  FillRecord(data, record);
  return true;
}

std::string OpenableName(const FileSearchRecord& record) {
  return NameSpelled(record) || record.AlternateName.empty() ? record.Name : record.AlternateName;
}

std::string SystemSeparators(std::string_view path) { return std::string(path); }

std::filesystem::path UnlimitedPath(const std::filesystem::path& path) { return LongPathForm(path.wstring()); }

// Shorter paths keep the form given: callers show them and compare them.
std::filesystem::path NativePath(std::string_view path) {
  const std::wstring wide = Wide(path);
  return std::filesystem::path(wide.size() < MAX_PATH ? wide : LongPathForm(wide));
}

}  // namespace kvx
