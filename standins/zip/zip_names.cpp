#include "standins/zip/zip_names.h"

#include <zlib.h>

#include "standins/zip/file_system.h"

namespace kvxzip {
namespace {

uint32_t ZlibCRC(std::string_view bytes) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

}  // namespace

std::string DecodeMemberName(const StoredName& name) { return kvx::DecodeMemberName(name, ZlibCRC, OEMNameToUTF8); }

}  // namespace kvxzip
