#include "cli/preview_command.h"

#include <charconv>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>

#include "app/rules/window_layout.h"
#include "cli/commands.h"
#include "convert/convert.h"
#include "convert/preview.h"
#include "formats/png/png_encoder.h"
#include "support/messages.h"
#include "support/report.h"

namespace tolvane::cli {

namespace {

// Each line on its own line of out, as it is appended; clearing writes
// nothing.
class StreamLog : public Log {
 public:
  explicit StreamLog(std::ostream& out) : out_(out) {}
  void Clear() override {}
  void Append(std::string_view line) override { out_ << line << '\n' << std::flush; }

 private:
  std::ostream& out_;
};

struct PreviewArgs {
  std::string file;
  std::string output;
  int dpi = window::kDesignDpi;
};

std::optional<int> ParseDpi(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || value < 1 || value > kMaxPreviewDpi)
    return std::nullopt;
  return value;
}

std::optional<PreviewArgs> ParseArgs(const std::vector<std::string>& args) {
  PreviewArgs parsed;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--dpi") {
      if (i + 1 >= args.size()) return std::nullopt;
      const std::optional<int> dpi = ParseDpi(args[++i]);
      if (!dpi) return std::nullopt;
      parsed.dpi = *dpi;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) return std::nullopt;
  parsed.file = positional[0];
  parsed.output = positional[1];
  return parsed;
}

Raster ToRaster(const Surface& surface) {
  Raster raster;
  raster.SetSize(surface.Width(), surface.Height());
  for (int y = 0; y < surface.Height(); ++y) {
    std::uint8_t* row = raster.MutableRow(y).data();
    std::memcpy(row, surface.Row(y), 4 * static_cast<std::size_t>(surface.Width()));
    for (int x = 0; x < surface.Width(); ++x) row[4 * x + 3] = 0;
  }
  return raster;
}

}  // namespace

int RunPreviewCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::optional<PreviewArgs> parsed = ParseArgs(args);
  if (!parsed) {
    err << messages::kCliUsage;
    return kExitUsage;
  }
  try {
    StreamLog log(out);
    PictureKeeper preview;
    ConvertImageFile(parsed->file, log, preview);
    const window::Bounds box = window::LayoutAt(parsed->dpi).preview;
    SavePngFile(ToRaster(RenderPreview(preview.Current(), box.width, box.height)), parsed->output);
  } catch (const std::exception& failure) {
    err << ErrorBoxText(InnermostMessage(failure)) << '\n' << std::flush;
    return kExitFailure;
  }
  return kExitSuccess;
}

int RunPreview(const Arguments& args) { return RunPreviewCommand(args, std::cout, std::cerr); }

}  // namespace tolvane::cli
