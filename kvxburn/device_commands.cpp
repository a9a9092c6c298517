// kvxburn's recorder commands: devices, info, burn, erase and eject, through the
// burning component over the SCSI transport (WNASPI32.DLL or the pass-through).
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <mutex>
#include <optional>

#include "base/local_time.h"
#include "kvxburn/commands.h"
#include "kvxburn/tree_adder.h"
#include "burner/vortal_burner.h"
#include "scsi/command_names.h"

namespace kvx {
namespace {

// Console output shared by the command's thread and the engine's threads.
class LockedConsole {
 public:
  explicit LockedConsole(const ConsoleOutput& console) : console_(console) {}
  void Out(const std::string& text) { Line(console_.Out, text); }
  void Err(const std::string& text) { Line(console_.Err, text); }

 private:
  void Line(std::ostream& stream, const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    console_.Line(stream, text);
    stream.flush();
  }
  const ConsoleOutput& console_;
  std::mutex lock_;
};

std::optional<uint32_t> Number(const std::string& text) {
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A device line, its index among the lines, or the unit's drive letter ("E" or "E:").
std::optional<std::string> FindDeviceLine(const std::vector<std::string>& lines, const std::string& name) {
  if (const std::optional<uint32_t> index = Number(name)) {
    if (*index < lines.size()) return lines[*index];
    return std::nullopt;
  }
  const bool letter = (name.size() == 1 || (name.size() == 2 && name[1] == ':')) && std::isalpha(static_cast<unsigned char>(name[0]));
  for (const std::string& line : lines) {
    if (line == name) return line;
    const size_t comma = line.find(',');
    if (letter && comma != std::string::npos && comma + 1 < line.size() &&
        std::toupper(static_cast<unsigned char>(line[comma + 1])) == std::toupper(static_cast<unsigned char>(name[0])))
      return line;
  }
  return std::nullopt;
}

bool StartTransport(TVortalBurner& burner, LockedConsole& console) {
  if (burner.InitializeASPI(false)) return true;
  console.Err("kvxburn: no SCSI transport (no WNASPI32.DLL and no CD/DVD volume)");
  return false;
}

// Starts the transport and selects the unit named on the command line.
bool SelectUnit(TVortalBurner& burner, const std::string& name, LockedConsole& console) {
  if (!StartTransport(burner, console)) return false;
  const std::optional<std::string> line = FindDeviceLine(burner.Devices(), name);
  if (!line) {
    console.Err("kvxburn: no CD/DVD unit \"" + name + "\" (see kvxburn devices)");
    return false;
  }
  burner.SetDevice(*line);
  if (burner.Device().empty() || burner.DeviceType() != scsi::Code(scsi::PeripheralType::CDDVD)) {
    console.Err("kvxburn: \"" + *line + "\" is not a CD/DVD recorder");
    return false;
  }
  return true;
}

// Debug lines of the engine: failures always, progress lines too when asked.
void ShowDebugMessages(TVortalBurner& burner, LockedConsole& console) {
  burner.SetOnDebugMessage([&console](scsi::TSCSIDevice*, const std::string& message, uint8_t) { console.Err(message); });
}

int Failed(LockedConsole& console, const std::string& text) {
  console.Err("kvxburn: " + text);
  return kExitFailed;
}

int Usage(LockedConsole& console, const std::string& text) {
  console.Err("usage: kvxburn " + text);
  return kExitUsage;
}

// --- devices -----------------------------------------------------------------------------

}  // namespace

int RunDevicesCommand(const CommandArgs& args, const ConsoleOutput& output, BurnEngine& engine) {
  LockedConsole console(output);
  if (!args.empty()) return Usage(console, "devices");
  TVortalBurner burner(engine);
  if (!StartTransport(burner, console)) return kExitFailed;
  for (const std::string& line : burner.Devices()) console.Out(line);
  return kExitOk;
}

namespace {

// --- info --------------------------------------------------------------------------------

struct CapabilityName {
  uint32_t Bits;
  const char* Name;
};

constexpr CapabilityName kCapabilityNames[] = {
    {scsi::capability::kReadCDR, "reads CD-R"},        {scsi::capability::kReadCDRW, "reads CD-RW"},
    {scsi::capability::kReadDVDROM, "reads DVD-ROM"},  {scsi::capability::kReadDVDR, "reads DVD-R"},
    {scsi::capability::kReadDVDRAM, "reads DVD-RAM"},  {scsi::capability::kDVDPlusRWUnit, "DVD+RW unit"},
    {scsi::capability::kWriteCDR, "writes CD-R"},      {scsi::capability::kWriteCDRW, "writes CD-RW"},
    {scsi::capability::kTestWrite, "test write"},      {scsi::capability::kWriteDVDR, "writes DVD-R"},
    {scsi::capability::kWriteDVDRAM, "writes DVD-RAM"}, {scsi::capability::kWriteDVDPlusRW, "writes DVD+RW"},
    {scsi::capability::kUnderrunFree, "underrun protection"},
};

std::string CapabilityText(uint32_t capabilities) {
  char hex[16];
  std::snprintf(hex, sizeof(hex), "%05X", capabilities);
  std::string text = hex;
  const char* separator = " (";
  for (const CapabilityName& name : kCapabilityNames) {
    if ((capabilities & name.Bits) != name.Bits) continue;
    text += separator;
    text += name.Name;
    separator = ", ";
  }
  return text + (separator[0] == ',' ? ")" : "");
}

const char* DiscStatusText(scsi::DiscState status) {
  switch (status) {
    case scsi::DiscState::Blank: return "blank";
    case scsi::DiscState::Appendable: return "appendable";
    case scsi::DiscState::Complete: return "complete";
    default: return "random access";
  }
}

}  // namespace

int RunInfoCommand(const CommandArgs& args, const ConsoleOutput& output, BurnEngine& engine) {
  LockedConsole console(output);
  if (args.size() != 1) return Usage(console, "info DEVICE");
  TVortalBurner burner(engine);
  if (!SelectUnit(burner, args[0], console)) return kExitFailed;
  burner.ReadCapabilities();
  console.Out("device: " + burner.Device());
  console.Out("description: " + burner.DeviceDescription());
  console.Out("capabilities: " + CapabilityText(burner.Capabilities()));
  console.Out("maximum read speed: " + std::to_string(burner.GetMaxReadSpeed()) + "X");
  console.Out("maximum write speed: " + std::to_string(burner.GetMaxWriteSpeed()) + "X");
  const scsi::DiscKind type = burner.GetDiscType();
  console.Out(std::string("disc: ") + scsi::DiscTypeName(type));
  if (burner.ReadDiscInfo()) {
    const scsi::DiscInformation& disc = burner.DiscInfo();
    console.Out(std::string("disc status: ") + DiscStatusText(disc.DiscStatus()));
    // The count includes an empty session left open for more.
    const int sessions = disc.Sessions() - (disc.LastSessionState() == 0 ? 1 : 0);
    console.Out("sessions: " + std::to_string(std::max(sessions, 0)));
  }
  if (burner.ReadTrackInformation(burner.GetLastSessionNumber() + 1u)) {
    const scsi::TrackInformation& track = burner.TrackInfo();
    console.Out("next writable address: " +
                (track.NextWritableValid() ? std::to_string(track.NextWritableAddress()) : std::string("none")));
    console.Out("free blocks: " + std::to_string(track.FreeBlocks()));
  } else {
    console.Out("next writable address: none (" + burner.LastError() + ")");
  }
  return kExitOk;
}

namespace {

// --- burn --------------------------------------------------------------------------------

struct BurnOptions {
  std::string Device;
  bool Test = false, Finalize = false, Verify = false;
  bool NewTree = false;  // a later session shows only its own files
  std::optional<uint16_t> Speed;
  std::string Volume;
  std::vector<std::string> Paths;
};

bool ParseBurnOptions(const CommandArgs& args, BurnOptions& options, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--test") {
      options.Test = true;
    } else if (arg == "--finalize") {
      options.Finalize = true;
    } else if (arg == "--verify") {
      options.Verify = true;
    } else if (arg == "--new-tree") {
      options.NewTree = true;
    } else if (arg == "--volume" && hasValue) {
      options.Volume = args[++i];
    } else if (arg == "--speed" && hasValue) {
      const std::optional<uint32_t> speed = Number(args[++i]);
      if (!speed || *speed > 0xFFFF) {
        error = "invalid speed \"" + args[i] + "\"";
        return false;
      }
      options.Speed = static_cast<uint16_t>(*speed);
    } else if (arg.starts_with("--")) {
      error = "unknown option \"" + arg + "\"";
      return false;
    } else if (options.Device.empty()) {
      options.Device = arg;
    } else {
      options.Paths.push_back(arg);
    }
  }
  if (options.Device.empty() || options.Paths.empty()) {
    error = options.Device.empty() ? "no device" : "nothing to burn";
    return false;
  }
  return true;
}

bool BuildTrack(TVortalBurner& burner, const BurnOptions& options, LockedConsole& console) {
  burner.ResetImage(kDefaultMaxFiles, kDefaultMaxDirectories);
  burner.SetIdVolume(options.Volume);
  burner.SetImportPreviousSession(!options.NewTree);
  const TDateTime now = EncodeDateTime(LocalNow().Local);
  burner.SetDateCreation(now);
  burner.SetDateModification(now);
  TreeAdder adder(burner.Image(), [&](const std::string& text) { console.Err("kvxburn: " + text); });
  for (const std::string& path : options.Paths) adder.AddPath(path);
  if (adder.Failed()) return false;
  burner.BuildImage(false);
  // The new tree is what readers see: without the last session's files, those would vanish.
  if (burner.Image().PreviousSessionUnreadable) {
    console.Err("kvxburn: the last session on the disc cannot be read, and a new one would hide its files "
                "(--new-tree burns a session that shows only the new files)");
    return false;
  }
  return true;
}

// Follows the write until OnWriteDone, with the sectors written on the error stream.
void FollowWrite(TVortalBurner& burner, Event& done, LockedConsole& console) {
  const int64_t total = burner.GetTrackSize();
  int64_t shown = -1;
  while (!done.Wait(500)) {
    const int64_t sectors = burner.BytesWritten() / 2048;
    if (sectors == shown) continue;
    shown = sectors;
    console.Err("written " + std::to_string(sectors) + " of " + std::to_string(total) + " sectors (" +
                std::to_string(total ? sectors * 100 / total : 100) + "%)");
  }
  burner.WaitForWriter();
}

}  // namespace

int RunBurnCommand(const CommandArgs& args, const ConsoleOutput& output, BurnEngine& engine) {
  LockedConsole console(output);
  std::string error;
  BurnOptions options;
  if (!ParseBurnOptions(args, options, error)) {
    console.Err("kvxburn burn: " + error);
    return kExitUsage;
  }
  TVortalBurner burner(engine);
  ShowDebugMessages(burner, console);
  if (!SelectUnit(burner, options.Device, console)) return kExitFailed;
  if (!burner.TestUnitReady(5000)) return Failed(console, "no disc in the unit (" + burner.LastError() + ")");
  burner.SetTestWrite(options.Test);
  burner.SetFinalizeDisc(options.Finalize);
  burner.SetVerifyWrite(options.Verify);
  if (options.Speed) {
    burner.SetReadSpeed(burner.GetMaxReadSpeed());
    burner.SetWriteSpeed(*options.Speed);
  }
  if (!BuildTrack(burner, options, console)) return kExitFailed;

  Event done(true);
  std::string result;
  burner.SetOnWriteDone([&](TVortalBurner*, const std::string& failure) {
    result = failure;
    done.Set();
  });
  burner.SetOnFinalizingTrack([&](TVortalBurner*) { console.Err("closing the track"); });
  if (!burner.StartBurn()) return Failed(console, result);
  FollowWrite(burner, done, console);
  if (!result.empty()) return Failed(console, result);
  console.Err("written " + std::to_string(burner.GetTrackSize()) + " sectors");
  return kExitOk;
}

// --- erase -------------------------------------------------------------------------------

int RunEraseCommand(const CommandArgs& args, const ConsoleOutput& output, BurnEngine& engine) {
  LockedConsole console(output);
  if (args.size() != 2 || (args[1] != "quick" && args[1] != "full"))
    return Usage(console, "erase DEVICE quick|full");
  TVortalBurner burner(engine);
  ShowDebugMessages(burner, console);
  if (!SelectUnit(burner, args[0], console)) return kExitFailed;
  Event done(true);
  bool erased = false;
  std::string error;
  burner.SetOnEraseDone([&](scsi::TSCSIDevice*, bool withError, const std::string& failure) {
    erased = !withError;
    error = failure;
    done.Set();
  });
  const scsi::BlankType blanking = args[1] == "quick" ? scsi::BlankType::Minimal : scsi::BlankType::WholeDisc;
  if (!burner.Erase(blanking)) return Failed(console, "erasing failed: " + error);
  int shown = -1;
  while (!done.Wait(1000)) {
    const int progress = burner.EraseProgress();
    if (progress == shown) continue;
    shown = progress;
    console.Err("erasing " + std::to_string(progress) + "%");
  }
  if (!erased) return Failed(console, "erasing failed: " + error);
  console.Err("erased");
  return kExitOk;
}

// --- eject -------------------------------------------------------------------------------

int RunEjectCommand(const CommandArgs& args, const ConsoleOutput& output, BurnEngine& engine) {
  LockedConsole console(output);
  if (args.size() != 1) return Usage(console, "eject DEVICE");
  TVortalBurner burner(engine);
  if (!SelectUnit(burner, args[0], console)) return kExitFailed;
  burner.PreventAllowRemoval(true);
  if (!burner.LoadEject(true)) return Failed(console, burner.LastError());
  return kExitOk;
}

}  // namespace kvx
