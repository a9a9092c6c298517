// What a member's stored name means: the bytes are read the way the archive's writer
// meant them, as UTF-8 whatever they were written in.
#pragma once

#include <string>

#include "archive/zip_member_name.h"

namespace kvxzip {

using StoredName = kvx::StoredMemberName;

// By the rules of archive/zip_member_name.h; a name in a code page is read in the OEM
// code page, as MS-DOS and the Windows shell write names (850 on a French Windows).
std::string DecodeMemberName(const StoredName& name);

}  // namespace kvxzip
