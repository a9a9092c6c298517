// What every laid-out image must hold, whatever tree it was given: the header ends where
// the file data starts, and every folder's records, in both trees, lie inside the header,
// each inside one sector and its identifier inside the record, and no two records of a
// folder found under one name.
#pragma once

#include "burner/image_layout.h"

namespace kvx::fuzz {

void CheckImageHeader(const ImageLayout& layout);

}  // namespace kvx::fuzz
