#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "convert/seams.h"
#include "formats/png/png_image.h"
#include "raster/raster.h"
#include "raster/row_progress.h"
#include "support/paths.h"

namespace tolvane {

// The reader a file gets, chosen by its extension alone.
enum class InputKind { Jpeg, Tiff, Png, Bmp };

// .JPG/.JPEG, .TIF/.TIFF, .PNG and .BMP in any ASCII case; nothing for every
// other extension, or none.
std::optional<InputKind> InputKindFor(std::string_view path,
                                      Separators separators = kPlatformSeparators);

struct InputSize {
  int width = 0;
  int height = 0;
};

// The reading step of a conversion, after the path line: decodes the file
// with the reader of `kind` into `working`, appends the size line and shows
// the image, in the order of that reader's branch (size line first for PNG
// and BMP, preview first for JPEG and TIFF). A PNG file is decoded by `png`,
// the call's PNG image object, and the preview is handed that object itself.
// Returns the width and height the size rule is applied to.
// The JPEG, PNG and TIFF decoders report their rows to `progress`, if given.
InputSize ReadWorkingRaster(InputKind kind, const std::string& path, PngImage& png,
                            Raster& working, Log& log, Preview& preview,
                            RowProgress* progress = nullptr);

}  // namespace tolvane
