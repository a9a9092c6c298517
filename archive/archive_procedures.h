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
// A list the expansion refuses (item_list_expansion.h: past the capacity, an entry naming
// nothing, a folder that cannot be listed, a name the library cannot take) fails with its
// reason (in problems when given, else an "ERREUR," message) and nothing is written.
// Restore work folders (KVXRnnnn.$$$) are left out, and an archive holding one refused. True only when the toolbox itself found the archive whole,
// whatever the library answered: every file the list names is a member with its full
// size, and (but for diskettes) every member reads back with its size and CRC-32.
// Without spanning the library writes beside the target (archivePath + ".$$$"), and the
// archive checked and flushed then replaces the earlier one, which any failure leaves as
// it was. With spanning (diskettes, which the library empties itself) every source is
// read before the first diskette and the set read back through the library's test after
// the last. problems, when given, receives one line per message of the library (a file it
// could not read whole, a failed check of its own) and per failure of the toolbox's
// check, and the text of a progress or message handler that threw (otherwise sent as an
// error), for the caller to show at once; any such line fails the backup.
bool ZipArchive(HostBridge& host, std::string_view archivePath, std::string_view item, uint16_t multiVolumeWord,
                bool recurse, std::vector<std::string>* problems = nullptr);

// Extracts every member matching fileSpec into destination, overwriting and
// recreating folders. True when the archive held members and the library extracted
// them all; an archive that cannot be read or holds nothing gives false. A progress or
// message handler that throws stops the library and its text is sent as an error.
bool UnzipArchive(HostBridge& host, std::string_view archivePath, std::string_view destination,
                  std::string_view fileSpec);

// The toolbox reads every member of the archive back and checks its size and CRC-32,
// writing nothing; each problem reaches the host as an "ERREUR," message. True when the
// archive holds members and all of them are whole.
bool TestArchive(HostBridge& host, std::string_view archivePath);

}  // namespace kvx
