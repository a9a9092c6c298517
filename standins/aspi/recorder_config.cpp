#include "standins/aspi/recorder_config.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

namespace kvx::aspi {
namespace {

struct MediaNameEntry {
  MediaType media;
  const char* name;
};

constexpr MediaNameEntry kMediaNames[] = {
    {MediaType::None, "none"},          {MediaType::CDROM, "CD-ROM"},       {MediaType::CDR, "CD-R"},
    {MediaType::CDRW, "CD-RW"},         {MediaType::DVDROM, "DVD-ROM"},     {MediaType::DVDMinusR, "DVD-R"},
    {MediaType::DVDMinusRW, "DVD-RW"},  {MediaType::DVDPlusR, "DVD+R"},     {MediaType::DVDPlusRW, "DVD+RW"},
    {MediaType::DVDRAM, "DVD-RAM"},
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool ParseNumber(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  size_t used = 0;
  try {
    value = std::stoll(text, &used, 0);
  } catch (...) {
    return false;
  }
  return used == text.size();
}

// "3/0C/00": sense key, ASC and ASCQ in hexadecimal.
bool ParseSense(const std::string& text, SenseCode& sense) {
  unsigned key, asc, ascq;
  char a, b, rest;
  std::istringstream in(text);
  if (!(in >> std::hex >> key >> a >> asc >> b >> ascq) || a != '/' || b != '/' || key > 0xF || asc > 0xFF ||
      ascq > 0xFF || (in >> rest))
    return false;
  sense = {static_cast<uint8_t>(key), static_cast<uint8_t>(asc), static_cast<uint8_t>(ascq)};
  return true;
}

bool ParseHex(const std::string& text, uint64_t max, uint64_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
  size_t used = 0;
  try {
    value = std::stoull(text, &used, 16);
  } catch (...) {
    return false;
  }
  return used == text.size() && value <= max;
}

// Commands whose CDB carries an LBA in bytes 2-5 and a length in bytes 7-8 (10-byte
// group: READ (10), WRITE (10), ...), which "@LBA" applies to.
bool HasTenByteAddress(uint8_t opcode) { return (opcode >> 5) == 1 || (opcode >> 5) == 2; }

// "OPCODE[@LBA] SK/ASC/ASCQ", "OPCODE[@LBA] nosense", "OPCODE[@LBA] gone" or "2A@LBA garble": opcode and
// sense in hexadecimal, the LBA a number as elsewhere in the file.
bool ParseFault(const std::string& text, CommandFault& fault) {
  std::istringstream in(text);
  std::string command, outcome, rest;
  if (!(in >> command >> outcome) || (in >> rest)) return false;
  const auto at = command.find('@');
  uint64_t opcode = 0;
  if (!ParseHex(command.substr(0, at), 0xFF, opcode)) return false;
  fault.opcode = static_cast<uint8_t>(opcode);
  if (at != std::string::npos) {
    int64_t lba = 0;
    if (!HasTenByteAddress(fault.opcode) || !ParseNumber(command.substr(at + 1), lba) || lba < 0 || lba > 0xFFFFFFFF)
      return false;
    fault.lba = lba;
  }
  fault.gone = Lower(outcome) == "gone";
  fault.noSense = Lower(outcome) == "nosense";
  // Only a write has bytes to alter, and only at a given sector.
  fault.garble = Lower(outcome) == "garble";
  if (fault.garble) return fault.opcode == scsi::Code(scsi::Opcode::Write10) && fault.lba >= 0;
  return fault.gone || fault.noSense || ParseSense(outcome, fault.sense);
}

// ";"-separated faults.
bool ParseFaults(const std::string& text, std::vector<CommandFault>& faults) {
  std::istringstream in(text);
  std::vector<CommandFault> parsed;
  for (std::string entry; std::getline(in, entry, ';');) {
    if (Trim(entry).empty()) continue;
    CommandFault fault;
    if (!ParseFault(Trim(entry), fault)) return false;
    parsed.push_back(fault);
  }
  faults = std::move(parsed);
  return true;
}

bool ParseState(const std::string& text, MediumState& state) {
  const std::string value = Lower(text);
  if (value == "blank") state = MediumState::Blank;
  else if (value == "appendable") state = MediumState::Appendable;
  else if (value == "closed") state = MediumState::Closed;
  else return false;
  return true;
}

bool IsDVDRecorderProduct(const std::string& product) {
  return product.find("DVR-103") != std::string::npos || product.find("DVR-104") != std::string::npos;
}

// Applies one key; false when the value does not fit the key.
bool ApplyKey(UnitConfig& unit, const std::string& key, const std::string& value) {
  int64_t number = 0;
  const bool numeric = ParseNumber(value, number) && number >= 0;
  const auto fits = [&](int64_t max) { return numeric && number <= max; };
  if (key == "vendor") unit.vendor = value;
  else if (key == "product") {
    unit.product = value;
    if (IsDVDRecorderProduct(value)) unit.longWrite = true;
  } else if (key == "revision") unit.revision = value;
  else if (key == "media") return ParseMedia(value, unit.media);
  else if (key == "state") return ParseState(value, unit.state);
  else if (key == "image") unit.image = value;
  else if (key == "folder") unit.folder = value;
  else if (key == "writeerrorsense") return ParseSense(value, unit.writeErrorSense);
  else if (key == "faults") return ParseFaults(value, unit.faults);
  else if (key == "letter") {
    if (value.size() != 1 || !std::isalpha(static_cast<unsigned char>(value[0]))) return false;
    unit.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(value[0])));
  } else if (key == "writeerrorlba") {
    if (!fits(0xFFFFFFFF)) return false;
    unit.writeErrorLBA = number;
  } else if (!fits(0xFFFFFFFF)) {
    return false;
  } else if (key == "capacity") unit.capacity = static_cast<uint32_t>(number);
  else if (key == "maxwritespeed" && fits(0xFFFF)) unit.maxWriteSpeed = static_cast<uint16_t>(number);
  else if (key == "maxreadspeed" && fits(0xFFFF)) unit.maxReadSpeed = static_cast<uint16_t>(number);
  else if (key == "buffersize") unit.bufferSize = static_cast<uint32_t>(number);
  else if (key == "fast") unit.fast = number != 0;
  else if (key == "underrunfree") unit.underrunFree = number != 0;
  else if (key == "dvdplusonly") unit.dvdPlusOnly = number != 0;
  else if (key == "usedblocks") unit.usedBlocks = static_cast<uint32_t>(number);
  else if (key == "busywrites") unit.busyWrites = static_cast<uint32_t>(number);
  else if (key == "blanktime") unit.blankMs = static_cast<uint32_t>(number);
  else if (key == "formattime") unit.formatMs = static_cast<uint32_t>(number);
  else if (key == "closetime") unit.closeMs = static_cast<uint32_t>(number);
  else if (key == "longwrite") unit.longWrite = number != 0;
  else return false;
  return true;
}

// "[Unit3]" gives 3; -1 for any other section.
int UnitNumber(const std::string& section) {
  const std::string name = Lower(section);
  int64_t number;
  if (name.rfind("unit", 0) != 0 || !ParseNumber(name.substr(4), number) || number > 7) return -1;
  return static_cast<int>(number);
}

}  // namespace

const char* MediaName(MediaType media) {
  for (const auto& entry : kMediaNames)
    if (entry.media == media) return entry.name;
  return "none";
}

bool ParseMedia(const std::string& text, MediaType& media) {
  for (const auto& entry : kMediaNames)
    if (Lower(entry.name) == Lower(text)) {
      media = entry.media;
      return true;
    }
  return false;
}

bool ParseRecorderConfig(const std::string& text, std::vector<UnitConfig>& units, std::string& error) {
  std::map<int, UnitConfig> found;
  UnitConfig* unit = nullptr;
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      const int number = UnitNumber(line.substr(1, line.size() - 2));
      unit = number < 0 ? nullptr : &found[number];
      if (unit != nullptr) unit->number = number;
      continue;
    }
    const auto equals = line.find('=');
    if (unit == nullptr || equals == std::string::npos) continue;
    const std::string key = Lower(Trim(line.substr(0, equals)));
    const std::string value = Trim(line.substr(equals + 1));
    if (!ApplyKey(*unit, key, value)) {
      error = "line " + std::to_string(lineNumber) + ": invalid " + key + " value '" + value + "'";
      return false;
    }
  }
  units.clear();
  for (auto& [number, config] : found) units.push_back(config);
  return true;
}

bool ReadRecorderConfig(const std::string& path, std::vector<UnitConfig>& units, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read " + path;
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return ParseRecorderConfig(text.str(), units, error);
}

}  // namespace kvx::aspi
