// TSCSIDevice: the device half of the burning component. Finds the CD/DVD units
// behind the SCSI transport, selects one, and offers one operation per SCSI/MMC
// command the engine uses; every command goes through ExecSCSICommand, which waits for
// completion, turns a failure into LastError and writes a "<<< " log line.
// Disc and drive queries and blanking (GetDiscType ... Erase) live here too.
//
// One thread at a time uses a device (the GUI thread, then the writer or blanking
// thread); Erasing, EraseProgress and the buffer sizes may be read from others.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/date_time.h"
#include "base/thread.h"
#include "scsi/aspi_defs.h"
#include "scsi/big_endian.h"
#include "scsi/disc_kinds.h"
#include "scsi/mmc_codes.h"
#include "scsi/unit_claims.h"

namespace kvx::scsi {

class TSCSIDevice;
class TEraseThread;
class SCSITransportHub;
class SCSITransport;

// Events. OnEraseDone and the debug messages of a blanking or a write come from worker
// threads: handlers hand anything for a form to the GUI thread. OnEraseDone tells whether
// the blanking ended with an error, and then the text of what went wrong.
using TEraseDoneEvent = std::function<void(TSCSIDevice* sender, bool withError, const std::string& error)>;
using TOnDebugMsg = std::function<void(TSCSIDevice* sender, const std::string& message, uint8_t mType)>;
using TDeviceChangedEvent = std::function<void(TSCSIDevice* sender)>;
// Waits the given milliseconds (the polling loops of blanking and readiness).
using SleepFunction = std::function<void(uint32_t ms)>;
// Whether a long wait is to end now (the user stopped the write or the blanking).
using StopRequest = std::function<bool()>;

// How a blanking that was asked to stop ends: the unit goes on with whatever it was doing
// to the disc, which stays as it leaves it.
inline constexpr const char* kEraseStoppedText = "ERASE STOPPED, THE DISC STAYS AS THE UNIT LEAVES IT";

// mType of a debug message.
inline constexpr uint8_t kDebugFailure = 0;
inline constexpr uint8_t kDebugProgress = 1;

// A text control that collects the debug lines (the burn wizard's memo).
class DebugLines {
 public:
  virtual ~DebugLines() = default;
  virtual void AddLine(const std::string& line) = 0;
};


// Capabilities bits.
namespace capability {
inline constexpr uint32_t kReadCDR = 0x1;
inline constexpr uint32_t kReadCDRW = 0x2;
inline constexpr uint32_t kReadMethod2 = 0x4;
inline constexpr uint32_t kReadDVDROM = 0x8;
inline constexpr uint32_t kReadDVDR = 0x10 | 0x20;
inline constexpr uint32_t kReadDVDRAM = 0x40;
inline constexpr uint32_t kDVDPlusRWUnit = 0x80 | 0x100;
inline constexpr uint32_t kWriteCDR = 0x200;
inline constexpr uint32_t kWriteCDRW = 0x400;
inline constexpr uint32_t kTestWrite = 0x800;
inline constexpr uint32_t kWriteDVDR = 0x1000 | 0x2000;
inline constexpr uint32_t kWriteDVDRAM = 0x4000;
inline constexpr uint32_t kWriteDVDPlusRW = 0x8000 | 0x10000;
inline constexpr uint32_t kUnderrunFree = 0x40000;
}  // namespace capability

// FORMAT UNIT parameter list of a DVD+RW: FOV and Immed, format type 26h.
inline constexpr std::array<uint8_t, 12> kDVDPlusRWFormat = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                                             0x00, 0x00, 0x98, 0x00, 0x00, 0x00};

// Bits of SupportedWriteModes: the write types the unit accepted when selected.
inline constexpr uint8_t kWriteModeRaw = 0x1;
inline constexpr uint8_t kWriteModeSAO = 0x2;
inline constexpr uint8_t kWriteModeTAO = 0x4;

// What SetWriteParameters asks of the unit besides the disc kind.
struct WriteSettings {
  bool testWrite = false;
  bool underrunProtection = false;
};

// The last READ TRACK INFORMATION answer, as the unit sent it, with its fields.
struct TrackInformation {
  std::array<uint8_t, 38> bytes{};
  uint16_t DataLength() const { return BigEndian16(&bytes[0]); }
  bool Blank() const { return (bytes[6] & 0x40) != 0; }
  bool NextWritableValid() const { return (bytes[7] & 0x01) != 0; }
  uint32_t TrackStart() const { return BigEndian32(&bytes[8]); }
  uint32_t NextWritableAddress() const { return BigEndian32(&bytes[12]); }
  uint32_t FreeBlocks() const { return BigEndian32(&bytes[16]); }
  uint32_t FixedPacketSize() const { return BigEndian32(&bytes[20]); }
  uint32_t TrackSize() const { return BigEndian32(&bytes[24]); }
  uint32_t LastRecordedAddress() const { return BigEndian32(&bytes[28]); }
};

// The last READ DISC INFORMATION answer (56 bytes, MMC layout).
struct DiscInformation {
  std::array<uint8_t, 56> bytes{};
  uint16_t DataLength() const { return BigEndian16(&bytes[0]); }
  bool Erasable() const { return (bytes[2] & 0x10) != 0; }
  uint8_t LastSessionState() const { return (bytes[2] >> 2) & 0x03; }
  DiscState DiscStatus() const { return static_cast<DiscState>(bytes[2] & 0x03); }
  uint8_t Sessions() const { return bytes[4]; }
};

// Mode page 2Ah as last read (22 bytes) and its speed and buffer fields.
struct CapabilityPage {
  std::array<uint8_t, 22> bytes{};
  uint16_t maxReadKBs = 0;       // bytes 8-9
  uint16_t bufferKB = 0;         // bytes 12-13
  uint16_t currentReadKBs = 0;   // bytes 14-15
  uint16_t maxWriteKBs = 0;      // bytes 18-19
  uint16_t currentWriteKBs = 0;  // bytes 20-21
};

// X factor of a speed in kB/s (kB/s / 176.46, rounded).
uint16_t SpeedX(uint32_t kBs);

class TSCSIDevice {
 public:
  // Reaches its units through the program's transport; scans them when the transport
  // is already up.
  explicit TSCSIDevice(SCSITransportHub& transport);
  // Waits for a running blanking to end.
  virtual ~TSCSIDevice();
  TSCSIDevice(const TSCSIDevice&) = delete;
  TSCSIDevice& operator=(const TSCSIDevice&) = delete;

  // --- Transport and units -----------------------------------------------------
  SCSITransportHub& Transport() const { return transport_; }
  // Selects a transport; on success asks adapter 0 and scans the units.
  bool InitializeASPI(bool preferPassThrough);
  bool ASPIInitialized() const;
  // Rebuilds Devices: "HA:T:L,X: " + vendor, product and revision of each CD/DVD unit.
  void ScanDevices();
  const std::vector<std::string>& Devices() const { return devices_; }
  // Selects and identifies the unit of a device line; an invalid line resets to no unit.
  void SetDevice(const std::string& line);
  const std::string& Device() const { return device_; }
  const std::string& DeviceDescription() const { return deviceDescription_; }
  uint8_t DeviceType() const { return deviceType_; }
  uint8_t HaId() const { return haId_; }
  uint8_t Target() const { return target_; }
  uint8_t Lun() const { return lun_; }
  UnitAddress Address() const { return {haId_, target_, lun_}; }
  // HA_Count of the last host adapter inquiry; -1 when it failed.
  int8_t AdapterCount() const { return adapterCount_; }
  const SRB_HAInquiry& HostAdapterInfo() const { return haInquiry_; }
  bool HostAdapterInquiry(uint8_t adapter);

  // --- Core ----------------------------------------------------------------------
  // Sends a request to the selected unit and waits at least 10 s for it. True when the
  // request went to the transport (its outcome in SRB_Status); false, with LastError(),
  // when no transport is initialised or no unit is selected.
  bool ExecSCSICommand(SCSIRequest& request, uint32_t timeoutMs);
  const std::string& LastError() const { return lastError_; }
  const std::array<uint8_t, 33>& SenseData() const { return senseData_; }
  // The ASC of the last command's sense (0 after a success).
  uint8_t LastASC() const { return senseData_[12]; }
  bool TargetBusy() const { return targetBusy_; }
  // The last command was turned away because the unit is busy: BUSY status, or NOT
  // READY sense with ASC 04h (becoming ready, an operation in progress) or none. A
  // time-out or a unit that does not answer is not busy.
  bool UnitBusy() const;

  // --- Debug output ----------------------------------------------------------------
  void DebugMessage(const std::string& text, uint8_t mType);
  void SetDebugWindow(DebugLines* window) { debugWindow_ = window; }
  DebugLines* DebugWindow() const { return debugWindow_; }
  void SetOnDebugMessage(TOnDebugMsg handler) { onDebugMessage_ = std::move(handler); }
  bool DoDebug() const { return doDebug_; }
  void SetDoDebug(bool value) { doDebug_ = value; }

  // --- Published settings and events -----------------------------------------------
  void SetOnDeviceChange(TDeviceChangedEvent handler) { onDeviceChange_ = std::move(handler); }
  void SetOnEraseDone(TEraseDoneEvent handler) { onEraseDone_ = std::move(handler); }
  bool UnderrunProtection() const { return underrunProtection_; }
  void SetUnderrunProtection(bool value) { underrunProtection_ = value; }
  bool TestWrite() const { return testWrite_; }
  void SetTestWrite(bool value) { testWrite_ = value; }
  bool FinalizeDisc() const { return finalizeDisc_; }
  void SetFinalizeDisc(bool value) { finalizeDisc_ = value; }
  uint16_t ReadSpeed() const { return readSpeed_; }
  void SetReadSpeed(uint16_t x) { readSpeed_ = x; }
  uint16_t WriteSpeed() const { return writeSpeed_; }
  // Sends SET CD SPEED (ReadSpeed, x), then keeps x.
  void SetWriteSpeed(uint16_t x);

  // --- Unit facts --------------------------------------------------------------------
  uint32_t Capabilities() const { return capabilities_; }
  uint16_t DeviceMaxWriteSpeed() const { return deviceMaxWriteSpeed_; }
  uint16_t DeviceMaxReadSpeed() const { return deviceMaxReadSpeed_; }
  uint32_t DeviceBufferSize() const { return deviceBufferSize_; }
  void SetDeviceBufferSize(uint32_t bytes) { deviceBufferSize_ = bytes; }
  uint32_t DeviceFreeBufferSize() const { return deviceFreeBufferSize_; }
  void SetDeviceFreeBufferSize(uint32_t bytes) { deviceFreeBufferSize_ = bytes; }
  const CapabilityPage& CapabilitiesPage() const { return capabilityPage_; }
  const std::array<uint8_t, 54>& WriteParametersPage() const { return writeParametersPage_; }
  uint8_t SupportedWriteModes() const { return supportedWriteModes_; }
  const std::array<uint8_t, 131>& InquiryData() const { return inquiry_; }
  // Unit quirks, decided when a unit is selected.
  bool LongWriteUnit() const { return longWriteUnit_; }
  bool ForcedUnderrunProtection() const { return forcedUnderrunProtection_; }
  bool LinkSizeValidUnit() const { return linkSizeValidUnit_; }
  bool UjdaTdkUnit() const { return ujdaTdkUnit_; }
  // The immediate bit the writer gives CLOSE TRACK/SESSION.
  bool CloseImmediate() const { return closeImmediate_; }

  // --- Commands (true when SRB_Status is 01h) -------------------------------------------
  bool TestUnitReady(uint32_t timeoutMs);
  bool RezeroUnit();
  bool RequestSense(std::span<uint8_t> buffer);  // at most 255 bytes
  bool FormatUnit(uint8_t byte1, std::span<const uint8_t> list);  // 16 bytes are sent
  bool Inquiry();
  bool LoadEject(bool eject);
  bool PreventAllowRemoval(bool allow);
  // Keeps the current capacity descriptor (FormattedBlocks).
  bool ReadFormatCapacities();
  bool Read10(uint32_t lba, uint16_t blocks, std::span<uint8_t> buffer);
  // Also true while the request is still pending (status 00h).
  bool Write10(uint32_t lba, uint16_t blocks, uint8_t flags, std::span<const uint8_t> data);
  bool SynchronizeCache(uint32_t timeoutMs, bool immediate);
  bool ReadTOC(TOCFormat format, std::span<uint8_t> buffer, uint8_t number, bool msf, uint8_t control);
  bool GetConfiguration(FeatureRequest rt, Feature feature, std::span<uint8_t> buffer);
  bool ReadDiscInformation(std::span<uint8_t> buffer);
  bool ReadTrackInformation(uint32_t track);
  bool ReserveTrack(uint32_t blocks);
  bool SendOPCInformation();
  bool ModeSelect10(std::span<const uint8_t> data);
  // Zeroes the buffer, then copies length bytes of the answer into it (at most 512,
  // at most the buffer).
  bool ModeSense10(ModePage page, PageControl control, std::span<uint8_t> buffer, uint16_t length);
  bool CloseTrackSession(CloseFunction function, bool immediate);
  // Updates DeviceBufferSize and DeviceFreeBufferSize (0 free on failure).
  bool ReadBufferCapacity(uint32_t& bufferSize, uint32_t& freeSize);
  bool SendCueSheet(std::span<const uint8_t> data);
  bool Blank(BlankType type);
  bool SetStreaming(std::span<const uint8_t> data);
  bool SetCDSpeed(uint16_t readX, uint16_t writeX);
  bool SendDVDStructure(uint8_t format, std::span<const uint8_t> data);
  bool SendTimeStamp(TDateTime date);

  // --- Capabilities and write parameters -------------------------------------------------
  bool ReadCapabilities();
  bool SetWriteParameters(WriteSettings settings, DiscKind discType);
  uint16_t GetMaxWriteSpeed();
  uint16_t GetMaxReadSpeed();
  uint16_t GetCurrentWriteSpeed();

  // --- Disc queries ------------------------------------------------------------------------
  DiscKind GetDiscType();
  bool ReadDiscInfo();
  const DiscInformation& DiscInfo() const { return discInfo_; }
  const TrackInformation& TrackInfo() const { return trackInfo_; }
  const std::array<uint8_t, 32>& ATIP() const { return atip_; }
  // Blocks of the formatted medium from the last READ FORMAT CAPACITIES; 0 when the
  // medium is not formatted or the command failed.
  uint32_t FormattedBlocks() const { return formattedBlocks_; }
  uint8_t GetLastSessionNumber();
  // Polls every stepMs up to totalMs until the unit is ready; false when it is not, or
  // as soon as stop says so (looked at least once a second).
  bool WaitUntilReady(uint32_t totalMs, uint32_t stepMs, const StopRequest& stop = {});
  // The disc type of the last Erase or write, read by WaitUntilReady.
  DiscKind DiscType() const { return discType_; }
  void SetDiscType(DiscKind type) { discType_ = type; }

  // --- Blanking ------------------------------------------------------------------------------
  // Starts blanking (BLANK of the whole disc or minimal; DVD+RW and DVD-RAM are
  // formatted) in a TEraseThread. False when it could not start: OnEraseDone has then
  // been called with the reason, unless a blanking of this device is running already.
  bool Erase(BlankType blankType);
  bool Erasing() const { return erasing_; }
  // Asks the running blanking to stop following the unit: it ends within a second with
  // kEraseStoppedText (the unit is not told; nothing can stop a BLANK once sent).
  void StopErase();
  // Progress of the running blanking (0 to 100), 0 when none runs.
  int EraseProgress() const;

  // --- Seams -----------------------------------------------------------------------------------
  // The waits of the polling loops; tests shorten them.
  void SetSleepFunction(SleepFunction sleep) { sleep_ = std::move(sleep); }
  void Sleep(uint32_t ms) const { sleep_(ms); }
  // Sleeps ms in slices of at most a second; false as soon as stop says so.
  bool Pause(uint32_t ms, const StopRequest& stop) const;

 private:
  friend class TEraseThread;

  // A request block as the transport holds it, with its data and completion signal.
  struct InFlightRequest;

  bool Send(SCSIRequest& request, uint32_t timeoutMs);
  void SendAndWait(SCSIRequest& request, const std::shared_ptr<SCSITransport>& transport, uint32_t timeoutMs);
  // Frees the timed-out blocks the manager has let go of since.
  void ReleaseAbandonedRequests();
  void RecordFailure(const SCSIRequest& request);
  void WriteLogLine(const SCSIRequest& request);
  void ResetSelection();
  void ReadDeviceName();
  void SetQuirks();
  void ProbeWriteModes();
  std::string UnitDriveLetter(uint8_t adapter, uint8_t target, uint8_t lun);
  bool ReadCapabilityDefaults();
  void AddFeatureCapabilities();
  bool HasVendorPage30();
  void FireEraseDone(bool withError, const std::string& error);
  // Ends an erase that could not start: releases the unit and reports error.
  bool RefuseErase(const std::string& error);
  bool ReadyForErase(std::string& notReady);
  // Logs the blanking about to start, with the disc's kind and speed.
  void AnnounceErase(uint16_t speed);
  // Sends the command that starts the blanking (or the format) of the loaded disc.
  bool StartBlanking(BlankType blankType);

  SCSITransportHub& transport_;
  uint8_t haId_ = 254, target_ = 254, lun_ = 254;
  int8_t adapterCount_ = -1;
  CapabilityPage capabilityPage_;
  std::array<uint8_t, 54> writeParametersPage_{};
  DebugLines* debugWindow_ = nullptr;
  bool underrunProtection_ = false;
  bool testWrite_ = false;
  std::string lastError_;
  std::string device_;
  uint8_t deviceType_ = Code(PeripheralType::None);
  std::string deviceDescription_;
  std::array<uint8_t, 131> inquiry_{};
  bool doDebug_ = false;
  uint32_t capabilities_ = 0;
  std::vector<std::string> devices_;
  bool targetBusy_ = false;
  TDeviceChangedEvent onDeviceChange_;
  SRB_HAInquiry haInquiry_{};
  SRB_Abort abortBlock_{};
  // Requests that timed out while the manager still held them.
  std::vector<std::unique_ptr<InFlightRequest>> abandoned_;
  TEraseDoneEvent onEraseDone_;
  TrackInformation trackInfo_;
  std::array<uint8_t, 32> atip_{};
  uint32_t formattedBlocks_ = 0;
  UnitAddress erasingUnit_;
  uint16_t deviceMaxWriteSpeed_ = 0, deviceMaxReadSpeed_ = 0;
  std::atomic<uint32_t> deviceBufferSize_{0}, deviceFreeBufferSize_{0};
  bool finalizeDisc_ = false;
  std::atomic<bool> erasing_{false};
  std::array<uint8_t, 33> senseData_{};
  TOnDebugMsg onDebugMessage_;
  uint8_t supportedWriteModes_ = 0;
  uint16_t readSpeed_ = 0, writeSpeed_ = 0;
  bool longWriteUnit_ = false, forcedUnderrunProtection_ = false, linkSizeValidUnit_ = false;
  bool ujdaTdkUnit_ = false, closeImmediate_ = true;
  DiscInformation discInfo_;
  DiscKind discType_ = DiscKind::Unknown;
  std::atomic<int> eraseProgress_{0};
  // The thread of the last blanking, joined before the next one and when the device goes.
  OwnedThread<TEraseThread> eraseThread_;
  SleepFunction sleep_;
};

}  // namespace kvx::scsi
