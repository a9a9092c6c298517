// kvxburn image: lays out files and folders as one data track and writes the track
// as the recorder would receive it, into an image file.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "base/file_search.h"
#include "base/local_time.h"
#include "burner/image_layout.h"
#include "burner/iso_records.h"
#include "kvxburn/commands.h"
#include "kvxburn/tree_adder.h"
#include "burner/track_image.h"

namespace kvx {
namespace {

struct ImageOptions {
  std::string Output;
  std::string Volume;
  bool Joliet = true;
  std::optional<uint32_t> StartSector;
  std::vector<std::string> Paths;
};

// An image file stands for the disc: an unknown disc type, the next track at the given
// sector. Failures among the debug messages make the command fail.
class ImageFileDevice : public LayoutDevice {
 public:
  ImageFileDevice(const ConsoleOutput& console, uint32_t start) : console_(console), start_(start) {}
  scsi::DiscKind GetDiscType() override { return scsi::DiscKind::Unknown; }
  bool ReadNextWritableAddress(uint32_t& startSector) override {
    startSector = start_;
    return true;
  }
  void SetDoDebug(bool) override {}
  void DebugMessage(const std::string& message, uint8_t mType) override {
    console_.Line(console_.Err, "kvxburn: " + message);
    if (mType != 1) failed_ = true;
  }
  bool Failed() const { return failed_; }

 private:
  const ConsoleOutput& console_;
  uint32_t start_;
  bool failed_ = false;
};

bool ParseOptions(const CommandArgs& args, ImageOptions& options, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--no-joliet") {
      options.Joliet = false;
    } else if (arg == "--volume" && hasValue) {
      options.Volume = args[++i];
    } else if (arg == "--start" && hasValue) {
      const std::string& text = args[++i];
      uint32_t sector = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), sector);
      if (ec != std::errc() || end != text.data() + text.size()) {
        error = "invalid start sector \"" + text + "\"";
        return false;
      }
      options.StartSector = sector;
    } else if (arg.starts_with("--")) {
      error = "unknown option \"" + arg + "\"";
      return false;
    } else if (options.Output.empty()) {
      options.Output = arg;
    } else {
      options.Paths.push_back(arg);
    }
  }
  if (options.Output.empty()) {
    error = "no output file";
    return false;
  }
  return true;
}

constexpr uint8_t kZeroSector[kSectorSize] = {};

// Writes the track into a file, leaving holes where whole sectors are zero.
class SparseFileSink {
 public:
  explicit SparseFileSink(const std::string& path) : path_(NativePath(path)), out_(path_, std::ios::binary | std::ios::trunc) {}
  bool IsOpen() const { return out_.is_open(); }
  bool Write(const uint8_t* data, size_t size) {
    for (size_t offset = 0; offset < size; offset += kSectorSize) {
      const size_t n = std::min<size_t>(kSectorSize, size - offset);
      if (std::memcmp(data + offset, kZeroSector, n) == 0)
        out_.seekp(static_cast<std::streamoff>(n), std::ios::cur);
      else
        out_.write(reinterpret_cast<const char*>(data + offset), static_cast<std::streamsize>(n));
    }
    length_ += size;
    return static_cast<bool>(out_);
  }
  bool Close() {
    out_.close();
    std::error_code ec;
    std::filesystem::resize_file(path_, length_, ec);
    return !out_.fail() && !ec;
  }

 private:
  std::filesystem::path path_;
  std::ofstream out_;
  uint64_t length_ = 0;
};

bool WriteImageFile(const ImageLayout& layout, const std::string& output, const ConsoleOutput& console) {
  SparseFileSink sink(output);
  if (!sink.IsOpen()) {
    console.Line(console.Err, "kvxburn: cannot create " + output);
    return false;
  }
  std::string error;
  const bool written = WriteTrackData(layout, [&](const uint8_t* data, size_t size) { return sink.Write(data, size); }, error);
  if (!sink.Close() && written) error = "cannot write " + output;
  if (!written || !error.empty()) {
    console.Line(console.Err, "kvxburn: " + error);
    std::error_code ec;
    std::filesystem::remove(NativePath(output), ec);
    return false;
  }
  return true;
}

}  // namespace

int RunImageCommand(const CommandArgs& args, const ConsoleOutput& console) {
  std::string error;
  ImageOptions options;
  if (!ParseOptions(args, options, error)) {
    console.Line(console.Err, "kvxburn image: " + error);
    return kExitUsage;
  }
  ImageFileDevice device(console, options.StartSector.value_or(0));
  ImageLayout layout(device);
  layout.ResetImage(65535, 8191);
  layout.IdVolume = options.Volume;
  layout.JolietFileSystem = options.Joliet;
  layout.DateCreation = layout.DateModification = EncodeDateTime(LocalNow().Local);
  TreeAdder adder(layout, [&](const std::string& text) { console.Line(console.Err, "kvxburn: " + text); });
  for (const std::string& path : options.Paths) adder.AddPath(path);
  if (adder.Failed() || device.Failed()) return kExitFailed;

  layout.BuildImage(!options.StartSector.has_value());
  if (device.Failed() || !WriteImageFile(layout, options.Output, console)) return kExitFailed;
  return kExitOk;
}

}  // namespace kvx
