// The SCSI/MMC vocabulary of the engine (SPC-3, MMC-5): operation codes, feature and
// profile codes, mode pages and the fields of the write parameters page, and the sense
// the engine acts on. The virtual recorder answers in the same terms.
#pragma once

#include <cstdint>
#include <type_traits>

namespace kvx::scsi {

// The number of a named code, as it goes on the wire.
template <typename Enum>
  requires std::is_enum_v<Enum>
constexpr std::underlying_type_t<Enum> Code(Enum value) {
  return static_cast<std::underlying_type_t<Enum>>(value);
}

enum class Opcode : uint8_t {
  TestUnitReady = 0x00,
  RezeroUnit = 0x01,
  RequestSense = 0x03,
  FormatUnit = 0x04,
  Inquiry = 0x12,
  StartStopUnit = 0x1B,
  PreventAllowRemoval = 0x1E,
  ReadFormatCapacities = 0x23,
  ReadCapacity = 0x25,
  Read10 = 0x28,
  Write10 = 0x2A,
  Seek10 = 0x2B,
  WriteAndVerify10 = 0x2E,
  Verify10 = 0x2F,
  SynchronizeCache = 0x35,
  ReadSubChannel = 0x42,
  ReadTOC = 0x43,
  PlayAudio10 = 0x45,
  GetConfiguration = 0x46,
  PlayAudioMSF = 0x47,
  GetEventStatusNotification = 0x4A,
  PauseResume = 0x4B,
  StopPlayScan = 0x4E,
  ReadDiscInformation = 0x51,
  ReadTrackInformation = 0x52,
  ReserveTrack = 0x53,
  SendOpcInformation = 0x54,
  ModeSelect10 = 0x55,
  RepairTrack = 0x58,
  ModeSense10 = 0x5A,
  CloseTrackSession = 0x5B,
  ReadBufferCapacity = 0x5C,
  SendCueSheet = 0x5D,
  Blank = 0xA1,
  SendEvent = 0xA2,
  SendKey = 0xA3,
  ReportKey = 0xA4,
  PlayAudio12 = 0xA5,
  LoadUnloadMedium = 0xA6,
  SetReadAhead = 0xA7,
  Read12 = 0xA8,
  Write12 = 0xAA,
  GetPerformance = 0xAC,
  ReadDVDStructure = 0xAD,
  SetStreaming = 0xB6,
  ReadCDMSF = 0xB9,
  Scan = 0xBA,
  SetCDSpeed = 0xBB,
  MechanismStatus = 0xBD,
  ReadCD = 0xBE,
  SendDVDStructure = 0xBF,
  // Never sent: the command core completes it at once (a request that only waits).
  NoOperation = 0xFF,
};

// GET CONFIGURATION feature codes.
enum class Feature : uint16_t {
  ProfileList = 0x0000,
  Core = 0x0001,
  RemovableMedium = 0x0003,
  CDRead = 0x001E,
  DVDRead = 0x001F,
  IncrementalStreamingWritable = 0x0021,
  Formattable = 0x0023,
  DVDPlusRW = 0x002A,
  DVDPlusR = 0x002B,
  CDTrackAtOnce = 0x002D,
  CDMastering = 0x002E,
  DVDMinusRWrite = 0x002F,
  RealTimeStreaming = 0x0107,
};

// The RT field of GET CONFIGURATION: which features are returned.
enum class FeatureRequest : uint8_t {
  All = 0,      // from the starting feature on
  Current = 1,  // the current ones from the starting feature on
  One = 2,      // the starting feature alone
};

// Profiles: the kind of medium a unit has loaded (the header's current profile).
enum class Profile : uint16_t {
  None = 0x0000,
  CDROM = 0x0008,
  CDR = 0x0009,
  CDRW = 0x000A,
  DVDROM = 0x0010,
  DVDMinusRSequential = 0x0011,
  DVDRAM = 0x0012,
  DVDMinusRWRestrictedOverwrite = 0x0013,
  DVDMinusRWSequential = 0x0014,
  DVDPlusRW = 0x001A,
  DVDPlusR = 0x001B,
  DDCDROM = 0x0020,
  DDCDR = 0x0021,
  DDCDRW = 0x0022,
};

// The formats of READ TOC/PMA/ATIP.
enum class TOCFormat : uint8_t {
  TOC = 0,
  SessionInformation = 1,
  FullTOC = 2,
  PMA = 3,
  ATIP = 4,
};

// The disc status of READ DISC INFORMATION (byte 2, bits 1-0).
enum class DiscState : uint8_t {
  Blank = 0,
  Appendable = 1,
  Complete = 2,
  RandomAccess = 3,
};

// BLANK types.
enum class BlankType : uint8_t {
  WholeDisc = 0,
  Minimal = 1,
  Track = 2,
  UnreserveTrack = 3,
  TrackTail = 4,
  UncloseLastSession = 5,
  Session = 6,
};

// CLOSE TRACK/SESSION close functions.
enum class CloseFunction : uint8_t {
  Track = 0x01,
  Session = 0x02,
  // DVD+R: closes the session and finalises the disc; CD and DVD-R: as Session.
  Finalize = 0x05,
  FinalizeMinimalRadius = 0x06,
};

// Descriptor type of the current capacity descriptor of READ FORMAT CAPACITIES (byte
// 4, bits 1-0).
enum class DescriptorType : uint8_t {
  UnformattedMedia = 0x01,
  FormattedMedia = 0x02,
  NoMedia = 0x03,
};

inline constexpr uint8_t kDescriptorTypeMask = 0x03;

// Format types of a FORMAT UNIT descriptor and of READ FORMAT CAPACITIES.
enum class FormatType : uint8_t {
  Full = 0x00,
  DVDPlusRWFull = 0x26,
};

// FORMAT UNIT byte 1: a parameter list follows (FmtData), with format code 001b.
inline constexpr uint8_t kFormatWithParameterList = 0x11;
// SEND DVD STRUCTURE format of the time stamp.
inline constexpr uint8_t kDVDStructureTimeStamp = 0x0F;

// Peripheral device types of INQUIRY byte 0.
enum class PeripheralType : uint8_t {
  WriteOnce = 0x04,
  CDDVD = 0x05,
  Unknown = 0x1F,
  None = 0x7F,  // no unit at this address
};

// --- Mode pages ---------------------------------------------------------------------------

enum class ModePage : uint8_t {
  WriteParameters = 0x05,
  Capabilities = 0x2A,
  Vendor30 = 0x30,  // present on units with their own underrun protection
  All = 0x3F,
};

// MODE SENSE byte 2: the page code (bits 5-0) and the page control (bits 7-6).
inline constexpr uint8_t kPageCodeMask = 0x3F;
inline constexpr uint8_t kPageControlMask = 0xC0;

enum class PageControl : uint8_t {
  Current = 0x00,
  Changeable = 0x40,
  Default = 0x80,
  Saved = 0xC0,
};

// Write parameters page (05h): byte 2 holds the write type and three flags.
enum class WriteType : uint8_t {
  Packet = 0x00,
  TrackAtOnce = 0x01,
  SessionAtOnce = 0x02,  // disc-at-once on DVD-R/-RW
  Raw = 0x03,
  LayerJump = 0x04,
};

inline constexpr uint8_t kWriteTypeMask = 0x0F;
inline constexpr uint8_t kTestWriteBit = 0x10;
inline constexpr uint8_t kLinkSizeValidBit = 0x20;
inline constexpr uint8_t kUnderrunFreeBit = 0x40;

// Byte 3: the multi-session field (bits 7-6) and the track mode (bits 3-0).
enum class MultiSession : uint8_t {
  NoNextSession = 0x00,
  NextSessionAllowed = 0xC0,
};

inline constexpr uint8_t kMultiSessionMask = 0xC0;

enum class TrackMode : uint8_t {
  DataUninterrupted = 0x04,
  DataIncremental = 0x05,
};

inline constexpr uint8_t kTrackModeMask = 0x0F;

// Byte 4: the data block type.
enum class DataBlockType : uint8_t {
  Raw2352 = 0x00,
  RawPq2368 = 0x01,
  RawPw2448 = 0x02,
  RawPwRaw = 0x03,
  Mode1 = 0x08,  // 2048 bytes of user data
  Mode2 = 0x09,
  Mode2Form1 = 0x0A,
};

inline constexpr uint8_t kDataBlockTypeMask = 0x0F;

// --- Sense ------------------------------------------------------------------------------------

// Fixed-format sense data, current errors; with the VALID bit set (F0h) the
// information field is valid.
inline constexpr uint8_t kFixedSenseCurrent = 0x70;
inline constexpr uint8_t kSenseValidBit = 0x80;

enum class SenseKey : uint8_t {
  NoSense = 0x0,
  RecoveredError = 0x1,
  NotReady = 0x2,
  MediumError = 0x3,
  HardwareError = 0x4,
  IllegalRequest = 0x5,
  UnitAttention = 0x6,
  DataProtect = 0x7,
  BlankCheck = 0x8,
  CopyAborted = 0xA,
  AbortedCommand = 0xB,
  VolumeOverflow = 0xD,
  Miscompare = 0xE,
  Reserved = 0xF,
};

// Fixed-format sense data (70h or 71h, with or without the VALID bit).
constexpr bool IsFixedSense(uint8_t responseCode) { return (responseCode & 0x7E) == kFixedSenseCurrent; }
// Fixed-format sense of a current error with the VALID bit set (F0h).
constexpr bool ValidFixedSense(uint8_t responseCode) { return responseCode == (kSenseValidBit | kFixedSenseCurrent); }
// The sense key of fixed-format sense data.
constexpr SenseKey SenseKeyOf(const uint8_t* sense) { return static_cast<SenseKey>(sense[2] & 0x0F); }

// An additional sense code with its qualifier.
struct ASCPair {
  uint8_t asc = 0;
  uint8_t ascq = 0;
};

// ASC 04h: LOGICAL UNIT NOT READY, whatever the cause (the qualifier says it).
inline constexpr uint8_t kASCNotReady = 0x04;

namespace sense {
inline constexpr ASCPair kNoAdditionalSense{0x00, 0x00};
inline constexpr ASCPair kNotReadyCauseNotReportable{kASCNotReady, 0x00};
inline constexpr ASCPair kBecomingReady{kASCNotReady, 0x01};
inline constexpr ASCPair kFormatInProgress{kASCNotReady, 0x04};
inline constexpr ASCPair kOperationInProgress{kASCNotReady, 0x07};
inline constexpr ASCPair kLongWriteInProgress{kASCNotReady, 0x08};
inline constexpr ASCPair kUnrecoveredWriteError{0x0C, 0x00};
inline constexpr ASCPair kParameterListLengthError{0x1A, 0x00};
inline constexpr ASCPair kInvalidCommandOperationCode{0x20, 0x00};
inline constexpr ASCPair kLBAOutOfRange{0x21, 0x00};
inline constexpr ASCPair kInvalidAddressForWrite{0x21, 0x02};
inline constexpr ASCPair kInvalidFieldInCDB{0x24, 0x00};
inline constexpr ASCPair kInvalidFieldInParameterList{0x26, 0x00};
inline constexpr ASCPair kCommandSequenceError{0x2C, 0x00};
inline constexpr ASCPair kIncompatibleMediumInstalled{0x30, 0x00};
inline constexpr ASCPair kCannotWriteIncompatibleFormat{0x30, 0x05};
inline constexpr ASCPair kCannotFormatMedium{0x30, 0x06};
inline constexpr ASCPair kMediumNotFormatted{0x30, 0x10};
inline constexpr ASCPair kSavingParametersNotSupported{0x39, 0x00};
inline constexpr ASCPair kMediumNotPresentTrayClosed{0x3A, 0x01};
inline constexpr ASCPair kMediumNotPresentTrayOpen{0x3A, 0x02};
inline constexpr ASCPair kMediumRemovalPrevented{0x53, 0x02};
}  // namespace sense

constexpr bool operator==(ASCPair a, ASCPair b) { return a.asc == b.asc && a.ascq == b.ascq; }

}  // namespace kvx::scsi
