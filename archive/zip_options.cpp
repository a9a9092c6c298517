#include "archive/zip_options.h"

#include <cstddef>
#include <utility>

namespace kvx {
namespace {

template <typename E, size_t N>
uint16_t WordOf(EnumSet<E> set, const std::pair<E, uint16_t> (&bits)[N]) {
  uint16_t word = 0;
  for (const auto& [element, bit] : bits)
    if (set.Contains(element)) word |= bit;
  return word;
}

using MV = TMultiVolFlag;
constexpr std::pair<MV, uint16_t> kMultiVolumeBits[] = {
    {MV::MV_USEMULTI, 0x8000}, {MV::MV_FORMAT, 0x0001}, {MV::MV_LOWDENSE, 0x0002}, {MV::MV_WIPE, 0x0100},
    {MV::MV_SUBDIR, 0x0200},   {MV::MV_SYSHIDE, 0x0400}, {MV::MV_CDFIRST, 0x1000}, {MV::MV_TOHD, 0x4000}};

using ZSO = TZipSubOption;
constexpr std::pair<ZSO, uint16_t> kZipSubOptionBits[] = {
    {ZSO::ZSO_RELATIVEPATH, 0x0001},    {ZSO::ZSO_MINORCANCEL, 0x0002},      {ZSO::ZSO_EXTERNALPROG, 0x0004},
    {ZSO::ZSO_EXTPROGCANCEL, 0x0008},   {ZSO::ZSO_IGNORELONGNAMES, 0x0010},  {ZSO::ZSO_MANGLELONGNAMES, 0x0020},
    {ZSO::ZSO_SKIPLOCKEDFILES, 0x0040}, {ZSO::ZSO_FORCEREMOVEABLE, 0x0080},  {ZSO::ZSO_LOGZIPRESULTS, 0x0100},
    {ZSO::ZSO_JUST_ARCHIVED, 0x0200},   {ZSO::ZSO_RESET_ARCHIVED, 0x0400},   {ZSO::ZSO_ANSI_NAMES, 0x0800},
    {ZSO::ZSO_INHIBIT_PUMP, 0x4000}};

using USO = TUnzipSubOption;
constexpr std::pair<USO, uint16_t> kUnzipSubOptionBits[] = {
    {USO::USO_OVERWRITE_RO, 0x0001},    {USO::USO_MINORCANCEL, 0x0002},     {USO::USO_EXTERNALPROG, 0x0004},
    {USO::USO_EXTPROGCANCEL, 0x0008},   {USO::USO_IGNORELONGNAMES, 0x0010}, {USO::USO_MANGLELONGNAMES, 0x0020},
    {USO::USO_LEAVEPARTIAL, 0x0040},    {USO::USO_FORCEREMOVEABLE, 0x0080}, {USO::USO_LOGZIPRESULTS, 0x0100},
    {USO::USO_ANSI_NAMES, 0x0800},      {USO::USO_MVFROMHD, 0x2000},        {USO::USO_INHIBIT_PUMP, 0x4000}};

}  // namespace

uint16_t MultiVolumeWord(EnumSet<TMultiVolFlag> flags) { return WordOf(flags, kMultiVolumeBits); }
uint16_t ZipSubOptionWord(EnumSet<TZipSubOption> options) { return WordOf(options, kZipSubOptionBits); }
uint16_t UnzipSubOptionWord(EnumSet<TUnzipSubOption> options) { return WordOf(options, kUnzipSubOptionBits); }

EnumSet<TMultiVolFlag> MultiVolumeFlagsFromWord(uint16_t word) {
  EnumSet<TMultiVolFlag> flags;
  for (const auto& [element, bit] : kMultiVolumeBits)
    if (element != MV::MV_TOHD && (word & bit)) flags.Include(element);
  return flags;
}

}  // namespace kvx
