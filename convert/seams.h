#pragma once

#include <string_view>

#include "formats/png/png_image.h"
#include "raster/raster.h"

namespace tolvane {

// Where the conversion writes its status lines: the window's log, the
// terminal, or a test's recorder.
class Log {
 public:
  virtual ~Log() = default;
  virtual void Clear() = 0;
  virtual void Append(std::string_view line) = 0;
};

// Where the conversion shows its images. Each call hands over an image that
// the preview copies at once (a Raster's copy shares its store).
class Preview {
 public:
  virtual ~Preview() = default;
  virtual void Show(const Raster& raster) = 0;
  virtual void Show(const PngImage& image) = 0;
};

}  // namespace tolvane
