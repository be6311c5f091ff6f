#include "convert/convert.h"

#include <cstdint>

#include "convert/pipeline.h"
#include "convert/read_input.h"
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

void LogOutput(Log& log, const std::string& outputPath, const Raster& output) {
  log.Append(messages::OutputPathLine(outputPath));
  log.Append(messages::OutputSizeLine(output.Width(), output.Height()));
}

}  // namespace

void ConvertImageFile(const std::string& path, Log& log, Preview& preview) {
  const InputFormat* format = InputFormatFor(path);
  if (format == nullptr) return;

  // Created in this order and released in reverse, also when a step fails:
  // the PNG image object, the working raster, the reduction with its output
  // raster. The reduction, which reads the decoder's rows, is stopped before
  // the working raster goes.
  PngImage png;
  Raster working;
  const std::string outputPath = OutputPathFor(path);
  // The reader hands the working raster's rows to the reduction, while it
  // decodes or once it is done; the steps below stay in their one-thread
  // order.
  ReductionPipeline reduction(outputPath, *format);

  log.Clear();
  log.Append(path);
  const InputSize input = format->read(path, png, working, log, preview, &reduction);
  if (!NeedsReduction(input.width, input.height)) return;

  const ReducedSize reduced = ReducedSizeFor(input.width, input.height);
  RequireBothSides(reduced);

  const Raster& output = reduction.Reduce();
  preview.Show(output);
  RequireOutputIsNotInput(path, outputPath);
  reduction.Write(png);
  LogOutput(log, outputPath, output);
}

}  // namespace tolvane
