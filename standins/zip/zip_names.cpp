#include "standins/zip/zip_names.h"

#include <zlib.h>

#include "base/oem_code_page.h"

namespace kvxzip {
namespace {

uint32_t ZlibCRC(std::string_view bytes) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

}  // namespace

std::string DecodeMemberName(const StoredName& name) { return kvx::DecodeMemberName(name, ZlibCRC, kvx::OEMToUTF8); }

}  // namespace kvxzip
