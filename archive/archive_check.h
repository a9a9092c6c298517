// The toolbox's own reading of an archive it had written, whatever the zip library
// answered: its central directory (zip64 included), each member's data inflated back
// from the file with its size and CRC-32 compared, and the files the item list named
// found among the members with their full size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/zip_directory.h"

namespace kvx {

// A file the archive must hold: its member name (UTF-8, "/") and its size on disk.
struct ExpectedMember {
  std::string name;
  uint64_t size = 0;
};

// The members of the central directory this file holds (the last diskette's, for a set);
// false with why when it holds none or a damaged one.
bool ReadMembersHere(const std::filesystem::path& archive, std::vector<ArchiveMember>& members, std::string& error);

// One line per expected file that is not a member (a folder of its name is none), or
// one that is shorter or longer than the file, appended to problems; true when there was
// none. Names are compared as the system compares file names.
bool CheckExpectedMembers(const std::vector<ArchiveMember>& members, const std::vector<ExpectedMember>& expected,
                          std::vector<std::string>& problems);

// Reads the whole archive back: the central directory, then every member's data, its
// size and CRC-32 checked, and the expected files among the members. shownName names
// the archive in the lines appended to problems; true when there was none.
bool CheckArchive(const std::filesystem::path& archive, const std::string& shownName,
                  const std::vector<ExpectedMember>& expected, std::vector<std::string>& problems);

}  // namespace kvx
