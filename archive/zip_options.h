// The option sets of the zip components and the 16-bit words the libraries read.
// An element's position is its bit in the set; the words use the libraries' own bit
// values, which differ from those positions.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace kvx {

enum class TZipFlag {
  RecurseFlag, PathForTempFlag, FixFlag, FixHarderFlag, IncludeVolumeFlag, DeleteOriginalFlag, GrowExistingFlag,
  NoDirectoryNamesFlag, AddCommentFlag, AfterDateFlag, OldAsLatestFlag, IncludeOnlyFollowingFlag,
  ExcludeFollowingFlag, NoDirectoryEntriesFlag, IncludeSysHiddenFlag, bDiagnostic, LargeZIPFilesFlag
};
enum class TZipFormat { DosifyFlag, EncryptFlag, DontCompressTheseSuffixesFlag, ConvertLFtoCRLFFlag, QuietFlag };
enum class TMultiVolFlag { MV_USEMULTI, MV_FORMAT, MV_LOWDENSE, MV_WIPE, MV_SUBDIR, MV_SYSHIDE, MV_CDFIRST, MV_TOHD };
enum class TZipSubOption {
  ZSO_RELATIVEPATH, ZSO_MINORCANCEL, ZSO_EXTERNALPROG, ZSO_EXTPROGCANCEL, ZSO_IGNORELONGNAMES,
  ZSO_MANGLELONGNAMES, ZSO_SKIPLOCKEDFILES, ZSO_FORCEREMOVEABLE, ZSO_LOGZIPRESULTS, ZSO_JUST_ARCHIVED,
  ZSO_RESET_ARCHIVED, ZSO_INHIBIT_PUMP, ZSO_ANSI_NAMES
};
enum class TUnzipFlag {
  FreshenFlag, UpdateFlag, OverWriteFlag, QuietFlag, TestFlag, NoDirectoryNamesFlag, RecurseFlag,
  NoDirectoryItemsFlag, bDiagnostic, bLF2CRLFFlag, DecryptFlag
};
enum class TUnzipSubOption {
  USO_OVERWRITE_RO, USO_MINORCANCEL, USO_EXTERNALPROG, USO_EXTPROGCANCEL, USO_IGNORELONGNAMES,
  USO_MANGLELONGNAMES, USO_FORCEREMOVEABLE, USO_LOGZIPRESULTS, USO_INHIBIT_PUMP, USO_MVFROMHD,
  USO_LEAVEPARTIAL, USO_ANSI_NAMES
};

// A set of elements of one enumeration.
template <typename E>
class EnumSet {
 public:
  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<E> elements) {
    for (E element : elements) Include(element);
  }
  constexpr void Include(E element) { bits_ |= Bit(element); }
  constexpr void Exclude(E element) { bits_ &= ~Bit(element); }
  constexpr bool Contains(E element) const { return (bits_ & Bit(element)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint32_t Bits() const { return bits_; }
  friend constexpr bool operator==(EnumSet, EnumSet) = default;

 private:
  static constexpr uint32_t Bit(E element) { return 1u << static_cast<unsigned>(element); }
  uint32_t bits_ = 0;
};

// The words of the parameter records.
uint16_t MultiVolumeWord(EnumSet<TMultiVolFlag> flags);
uint16_t ZipSubOptionWord(EnumSet<TZipSubOption> options);
uint16_t UnzipSubOptionWord(EnumSet<TUnzipSubOption> options);

// The flags a caller's multi-volume word names: 0x8000, 0x1000, 0x0400, 0x0200,
// 0x0100, 0x0002 and 0x0001; other bits (0x4000 among them) are ignored.
EnumSet<TMultiVolFlag> MultiVolumeFlagsFromWord(uint16_t word);

}  // namespace kvx
