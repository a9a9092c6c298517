#include "scsi/command_names.h"

#include <array>
#include <cstdio>

#include "scsi/disc_kinds.h"
#include "scsi/mmc_codes.h"

namespace kvx::scsi {
namespace {

struct NamedCommand {
  Opcode opcode;
  const char* name;
};

constexpr NamedCommand kNamedCommands[] = {
    {Opcode::TestUnitReady, "TEST UNIT READY"},
    {Opcode::RezeroUnit, "REWIND UNIT"},
    {Opcode::RequestSense, "REQUEST SENSE"},
    {Opcode::FormatUnit, "FORMAT UNIT"},
    {Opcode::Inquiry, "INQUIRY"},
    {Opcode::StartStopUnit, "START STOP UNIT"},
    {Opcode::PreventAllowRemoval, "PREVENT/ALLOW REMOVAL"},
    {Opcode::ReadFormatCapacities, "READ FORMAT CAPACITIES"},
    {Opcode::ReadCapacity, "READ CAPACITY"},
    {Opcode::Read10, "READ (10)"},
    {Opcode::Write10, "WRITE (10)"},
    {Opcode::Seek10, "SEEK (10)"},
    {Opcode::WriteAndVerify10, "WRITE AND VERIFY (10)"},
    {Opcode::Verify10, "VERIFY (10)"},
    {Opcode::SynchronizeCache, "SYNCHRONIZE CACHE"},
    {Opcode::ReadSubChannel, "READ SUB-CHANNEL"},
    {Opcode::ReadTOC, "READ TOC/PMA/ATIP"},
    {Opcode::PlayAudio10, "PLAY AUDIO (10)"},
    {Opcode::GetConfiguration, "GET CONFIGURATION"},
    {Opcode::PlayAudioMSF, "PLAY AUDIO MSF"},
    {Opcode::GetEventStatusNotification, "GET EVENT/STATUS NOTIF"},
    {Opcode::PauseResume, "PAUSE/RESUME"},
    {Opcode::StopPlayScan, "STOP PLAY/SCAN"},
    {Opcode::ReadDiscInformation, "READ DISC INFORMATION"},
    {Opcode::ReadTrackInformation, "READ TRACK INFORMATION"},
    {Opcode::ReserveTrack, "RESERVE TRACK"},
    {Opcode::SendOpcInformation, "SEND OPC INFORMATION"},
    {Opcode::ModeSelect10, "MODE SELECT (10)"},
    {Opcode::RepairTrack, "REPAIR TRACK"},
    {Opcode::ModeSense10, "MODE SENSE (10)"},
    {Opcode::CloseTrackSession, "CLOSE TRACK/SESSION"},
    {Opcode::ReadBufferCapacity, "READ BUFFER CAPACITY"},
    {Opcode::SendCueSheet, "SEND CUE SHEET"},
    {Opcode::Blank, "BLANK"},
    {Opcode::SendEvent, "SEND EVENT"},
    {Opcode::SendKey, "SEND KEY"},
    {Opcode::ReportKey, "REPORT KEY"},
    {Opcode::PlayAudio12, "PLAY AUDIO (12)"},
    {Opcode::LoadUnloadMedium, "LOAD/UNLOAD CD/DVD"},
    {Opcode::SetReadAhead, "SET READ AHEAD"},
    {Opcode::Read12, "READ (12)"},
    {Opcode::Write12, "WRITE (12)"},
    {Opcode::GetPerformance, "GET PERFORMANCE"},
    {Opcode::ReadDVDStructure, "READ DVD STRUCTURE"},
    {Opcode::SetStreaming, "SET STREAMING"},
    {Opcode::ReadCDMSF, "READ CD MSF"},
    {Opcode::Scan, "SCAN"},
    {Opcode::SetCDSpeed, "SET CD SPEED"},
    {Opcode::MechanismStatus, "MECHANISM STATUS"},
    {Opcode::ReadCD, "READ CD"},
    {Opcode::SendDVDStructure, "SEND DVD STRUCTURE"},
};

constexpr size_t kNameWidth = 22;

std::array<std::string, 256> BuildCommandNames() {
  std::array<std::string, 256> names;
  for (unsigned opcode = 0; opcode < 256; ++opcode) {
    char hex[3];
    std::snprintf(hex, sizeof(hex), "%02X", opcode);
    names[opcode] = hex;
  }
  for (const NamedCommand& command : kNamedCommands) {
    std::string name = command.name;
    name.resize(kNameWidth, ' ');
    names[Code(command.opcode)] = name;
  }
  return names;
}

constexpr const char* kDiscTypeNames[] = {"UNKNOWN", "CD-ROM", "CD-R",   "CD-RW",    "DVD-ROM",
                                          "DVD-R",   "DVD-RAM", "DVD-RW", "DVD-RW",   "DVD+RW",
                                          "DVD+R",   "DDCD-ROM", "DDCD-R", "DDCD-RW"};

}  // namespace

const std::string& CommandNames(uint8_t opcode) {
  static const std::array<std::string, 256> names = BuildCommandNames();
  return names[opcode];
}

const char* DiscTypeName(DiscKind kind) {
  if (Code(kind) >= std::size(kDiscTypeNames)) return kDiscTypeNames[0];
  return kDiscTypeNames[Code(kind)];
}

}  // namespace kvx::scsi
