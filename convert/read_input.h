#pragma once

#include <span>
#include <string>
#include <string_view>

#include "convert/seams.h"
#include "formats/png/png_image.h"
#include "raster/raster.h"
#include "raster/row_progress.h"
#include "support/paths.h"

namespace tolvane {

struct InputSize {
  int width = 0;
  int height = 0;
};

// One input format: everything the conversion, the command line and the
// fuzzers need to know of it. A format is its module under formats/ and one
// entry of InputFormats(); a platform picks its own reader there.
struct InputFormat {
  // Its name; lower-cased, also the folder of its fuzzing seeds.
  std::string_view name;
  // The extensions that pick it, upper-cased, with the dot.
  std::span<const std::string_view> extensions;
  // The reading step of a conversion, after the path line: decodes the file
  // into `working`, appends the size line and shows the image, in this
  // format's order. PNG input is decoded by `png`, the call's PNG image
  // object, and the preview is handed that object itself. Returns the width
  // and height the size rule is applied to. The rows of `working` go to
  // `progress`, if given: as they are decoded where the reader can, else all
  // at once when it is done.
  InputSize (*read)(const std::string& path, PngImage& png, Raster& working, Log& log,
                    Preview& preview, RowProgress* progress);
  // Writes the reduced raster to `path`; `png` is the call's PNG image
  // object, whose interlace method a PNG output keeps.
  void (*write)(const Raster& output, const PngImage& png, const std::string& path);
  // The output file's extension.
  std::string_view outputExtension;
  // The output is a PNG that can be encoded a row at a time: when the
  // reader hands over its rows while it decodes, they are encoded meanwhile
  // on a second thread.
  bool encodesWhileDecoding;
};

// Every format the program reads, in the order the texts name them.
std::span<const InputFormat> InputFormats();

// The format of a path's extension in any ASCII case; nothing for every
// other extension, or none.
const InputFormat* InputFormatFor(std::string_view path,
                                  Separators separators = kPlatformSeparators);

// The handled extensions as the command line lists them:
// ".jpg, .jpeg, .tif, .tiff, .png or .bmp".
std::string HandledExtensions();

}  // namespace tolvane
