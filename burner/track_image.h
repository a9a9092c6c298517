// The data of a laid-out track in the order the recorder receives it: the image header,
// then every file of `Entries` (folders, empty files and entries without a source are
// skipped), each padded to whole sectors, then zeros up to 300 sectors when the track is
// shorter and WritePostGap is set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "burner/image_layout.h"

namespace kvx {

// Receives consecutive pieces of the track; false stops the write.
using TrackSink = std::function<bool(const uint8_t* data, size_t size)>;

// False with the reason in Error when a source file cannot be read whole or the sink refused.
bool WriteTrackData(const ImageLayout& layout, const TrackSink& sink, std::string& error);

}  // namespace kvx
