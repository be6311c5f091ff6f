#include "convert/convert.h"

#include <optional>

#include "convert/read_input.h"
#include "formats/bmp/bmp.h"
#include "formats/png/png_image.h"
#include "raster/raster.h"
#include "raster/reduce.h"
#include "support/error.h"
#include "support/files.h"
#include "support/messages.h"

namespace tolvane {

namespace {

// A reduced side of 0 would make an empty or zero-byte file: refuse it before
// anything is reduced or written.
void RequireBothSides(const ReducedSize& size) {
  if (size.width == 0 || size.height == 0) {
    throw Error(messages::ReducedSideZero(size.width, size.height));
  }
}

// A path that already holds "_2048" names its own input when the extension
// matches; writing would destroy the input. The device-and-inode test also
// catches other spellings of the same file (case-insensitive file systems,
// links).
void RequireOutputIsNotInput(const std::string& inputPath, const std::string& outputPath) {
  if (outputPath == inputPath || SameExistingFile(inputPath, outputPath)) {
    throw Error(messages::OutputIsInput(outputPath));
  }
}

}  // namespace

void ConvertImageFile(const std::string& path, Log& log, Preview& preview) {
  const std::optional<InputKind> kind = InputKindFor(path);
  if (!kind) return;

  // Created in this order and released in reverse, also when a step fails:
  // the PNG image object, the working raster, the output raster.
  PngImage png;
  Raster working;

  log.Clear();
  log.Append(path);
  const InputSize input = ReadWorkingRaster(*kind, path, png, working, log, preview);
  if (!NeedsReduction(input.width, input.height)) return;

  const ReducedSize reduced = ReducedSizeFor(input.width, input.height);
  RequireBothSides(reduced);

  Raster output;
  output.SetWidth(reduced.width);
  output.SetHeight(reduced.height);
  ReduceHalftone(working, output);
  preview.Show(output);

  const std::string outputPath = OutputPathFor(path);
  RequireOutputIsNotInput(path, outputPath);
  if (*kind == InputKind::Bmp) {
    SaveBmpFile(output, outputPath);
  } else {
    png.FromRaster(output);  // keeps only the interlace method of a decoded PNG
    png.SavePng(outputPath);
  }
  log.Append(messages::OutputPathLine(outputPath));
  log.Append(messages::OutputSizeLine(output.Width(), output.Height()));
}

}  // namespace tolvane
