// The archive procedures: compress what a list file names into one archive, extract
// every member of an archive into a folder, keeping the host's progress window up to
// date through the bridge given. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvx {

class HostBridge;

// item: "@" + path of a list file (one entry per line), or one file name or
// wildcard pattern. multiVolumeWord: the library's bits (0x8000 spanning, 0x0200, 0x0100...).
// True when the library wrote the archive whole and checked it. A list whose expanded
// entries pass the capacity is refused with an "ERREUR," message and nothing is written.
// problems, when given, receives one line per file the library could not read whole
// and per failed check of what it wrote, with the reason, for the caller to show at once,
// and the text of a progress or message handler that threw (otherwise sent as an error).
bool ZipArchive(HostBridge& host, std::string_view archivePath, std::string_view item, uint16_t multiVolumeWord,
                bool recurse, std::vector<std::string>* problems = nullptr);

// Extracts every member matching fileSpec into destination, overwriting and
// recreating folders. True when the archive held members and the library extracted
// them all; an archive that cannot be read or holds nothing gives false. A progress or
// message handler that throws stops the library and its text is sent as an error.
bool UnzipArchive(HostBridge& host, std::string_view archivePath, std::string_view destination,
                  std::string_view fileSpec);

// Reads every member of the archive and checks its data as an extraction would, writing
// nothing; problems reach the host as the extraction's. True when the archive holds
// members and all of them are whole.
bool TestArchive(HostBridge& host, std::string_view archivePath);

}  // namespace kvx
