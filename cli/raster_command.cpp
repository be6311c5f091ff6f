#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>

#include "cli/commands.h"
#include "cli/console.h"
#include "convert/read_input.h"
#include "formats/png/png_encoder.h"
#include "formats/png/png_image.h"
#include "raster/raster.h"
#include "support/error.h"
#include "support/files.h"
#include "support/messages.h"

namespace tolvane::cli {

namespace {

// The raster as the reduction reads it: 32-bit blue, green, red with the
// colours as stored and the fourth byte dropped, so premultiplied alpha shows
// as the image over black.
Raster BgrxCopy(const Raster& source) {
  Raster copy;
  copy.SetSize(source.Width(), source.Height());
  if (copy.Empty()) return copy;
  for (int y = 0; y < copy.Height(); ++y) {
    const auto row = copy.MutableRow(y);
    ReadRowBgrx(source, y, row.data());
    for (int x = 0; x < copy.Width(); ++x) row[static_cast<std::size_t>(x) * 4 + 3] = 0;
  }
  return copy;
}

void WriteWorkingRaster(const InputFormat& format, const std::string& input,
                        const std::string& output) {
  if (output == input || SameExistingFile(input, output)) {
    throw Error(messages::OutputIsInput(output));
  }
  StdoutLog log;  // prints the size line
  NoPreview preview;
  PngImage png;
  Raster working;
  format.read(input, png, working, log, preview, nullptr);
  SavePngFile(BgrxCopy(working), output);
}

}  // namespace

// Decodes a file into the working raster as a conversion does and writes
// that raster as a PNG, without reducing it.
int RunRaster(const Arguments& args) {
  if (args.size() != 2) return UsageError();
  const InputFormat* format = InputFormatFor(args[0]);
  if (format == nullptr) {
    std::fprintf(stderr, "%s\n", messages::CliNoReader(args[0], HandledExtensions()).c_str());
    return kExitUsage;
  }
  try {
    WriteWorkingRaster(*format, args[0], args[1]);
  } catch (const std::exception& failure) {
    ReportFailure(failure);
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace tolvane::cli
