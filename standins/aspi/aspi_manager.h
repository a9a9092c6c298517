// The ASPI manager of the stand-in: interprets ASPI for Win32 request blocks for a set
// of virtual recorders on one host adapter (unit N of the configuration is target N,
// lun 0). Portable; WNASPI32.DLL and the in-process transport both use it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "standins/aspi/recorder_clock.h"
#include "standins/aspi/virtual_recorder.h"

namespace kvx::aspi {

// Where the stand-in tells why a request failed inside it (the DLL: the debugger's output).
using FailureReport = std::function<void(const std::string& text)>;

class ASPIManager {
 public:
  explicit ASPIManager(std::vector<std::unique_ptr<VirtualRecorder>> units);
  // Completes the requests still queued first.
  ~ASPIManager();
  ASPIManager(const ASPIManager&) = delete;
  ASPIManager& operator=(const ASPIManager&) = delete;

  // From now on SCSI requests answer SS_PENDING at once and complete later, in order, on
  // the manager's own thread, which then calls completed(srb) (where their event is set).
  // SC_ABORT_SRB ends a request still queued with SS_ABORTED. By default requests
  // complete before Execute returns.
  void CompleteLater(std::function<void(void* srb)> completed);

  // Receives the text of each exception a request ended on; set before any request.
  void SetFailureReport(FailureReport report) { report_ = std::move(report); }

  // GetASPI32SupportInfo: SS_COMP and one adapter, or SS_NO_ADAPTERS without units.
  uint32_t SupportInfo() const;
  // Carries out a request block (or queues a SCSI request); returns the SRB_Status it stored.
  // A request the model throws on ends with SS_ERR, here or on the completion thread.
  uint8_t Execute(void* srb) noexcept;

  VirtualRecorder* UnitAt(uint8_t adapter, uint8_t target, uint8_t lun);
  size_t UnitCount() const { return units_.size(); }

 private:
  uint8_t Carry(void* srb);
  uint8_t ExecuteCommandOrFail(void* srb) noexcept;
  uint8_t HostAdapterInquiry(void* srb);
  uint8_t DeviceType(void* srb);
  uint8_t ExecuteCommand(void* srb);
  uint8_t DiskInfo(void* srb);
  uint8_t Queue(void* srb);
  uint8_t Abort(void* srb);
  void CompleteQueued();

  std::vector<std::unique_ptr<VirtualRecorder>> units_;
  FailureReport report_;
  std::function<void(void*)> completed_;  // set once, before the thread starts
  std::mutex queueLock_;                  // guards the two fields below
  std::deque<void*> queue_;
  bool stopping_ = false;
  std::condition_variable queued_;
  std::thread completer_;
};

// The manager of a configuration file (KVXASPI_CONFIG names it); null with the reason
// in error when the file cannot be used.
std::unique_ptr<ASPIManager> LoadASPIManager(const std::string& configPath, RecorderClock& clock, std::string& error);

// The guards of the exported entry points, which no exception may leave: what the work
// answers or, when it throws, the ASPI failure (SS_FAILED_INIT in the support
// information; SS_ERR, also stored in the request block when there is one), with the
// exception's text given to report.
uint32_t GuardSupportInfo(const std::function<uint32_t()>& work, const FailureReport& report) noexcept;
uint32_t GuardRequest(void* srb, const std::function<uint32_t()>& work, const FailureReport& report) noexcept;

}  // namespace kvx::aspi
