// Writes an archive across the diskettes of a removable drive: the zip format's spanned
// set, each volume under the archive's name on its own diskette, filling each one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standins/zip/diskette_drive.h"
#include "standins/zip/zip_writer.h"

namespace kvxzip {

// Diskettes with less room than this are asked for again.
inline constexpr uint64_t kSmallestVolume = 16 * 1024;

// The first volume goes on the diskette in the drive, the next ones on the diskettes
// the drive asks for. Cancelled when the person answers Annuler; a failed or cancelled
// set loses the volume on the diskette in the drive, so no diskette holds a volume
// that reads as a whole archive. A set that fits its first diskette is a plain archive.
ZipResult WriteSpanned(const std::string& archivePath, const std::vector<SourceEntry>& entries,
                       const WriteOptions& options, WriteObserver& observer, DisketteDrive& drive,
                       uint16_t multiVolumeWord);

}  // namespace kvxzip
