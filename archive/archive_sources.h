// The files an item list names, found as the zip library finds them when it adds them
// with relative names: what a new archive must hold, and, for a backup that cannot be
// written aside (diskettes), the sources read once before the first diskette.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_check.h"

namespace kvx {

// A restore's work folders (KVXRnnnn.$$$, in the data folder, which may be the current
// folder or not) never go into a backup: an archive holding one fails every restore.
// Patterns over member names, blank-separated, as the library's exclusion list takes them.
inline constexpr char kWorkFolderExclusion[] = "KVXR????.$$$/* */KVXR????.$$$/*";

// True when the member name (UTF-8, "/" between folders; a folder's with its final "/")
// matches one of the blank-separated patterns, compared as the system compares names.
bool IsExcludedMember(std::string_view name, std::string_view patterns);

// One line per member of a restore's work folder, naming it and the archive shown; true
// when there is none.
bool CheckNoWorkFolder(const std::vector<ArchiveMember>& members, const std::string& shownArchive,
                       std::vector<std::string>& problems);

struct SourceFile {
  std::filesystem::path path;
  ExpectedMember member;
};

// itemList: blank-separated absolute paths, double quotes around those with blanks; each a
// file, a folder (the files it holds; with recurse, its whole tree) or a wildcard pattern
// in its last part (with recurse, also in every subfolder). Member names relative to the
// current folder below it, else the path without its root; each name once. Files whose
// path starts with `excluded` (the archive being written and its companions) are left out,
// and so are the members of a restore's work folder.
std::vector<SourceFile> ListSources(std::string_view itemList, bool recurse, const std::filesystem::path& excluded);

std::vector<ExpectedMember> ExpectedMembers(const std::vector<SourceFile>& sources);

// Opens and reads every source to its end; one line per source that fails, appended to
// problems. True when all of them read whole.
bool ReadSourcesWhole(const std::vector<SourceFile>& sources, std::vector<std::string>& problems);

}  // namespace kvx
