#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "raster/raster.h"
#include "raster/row_progress.h"
#include "support/byte_block.h"
#include "support/byte_source.h"

namespace tolvane {

// Decodes the bytes of a whole JPEG file, as ToRaster does. In palette mode
// a colour image is quantised to at most 236 colours, as for a display of 8
// bits or fewer; the program runs on true-colour displays and leaves it off.
// With a progress, each row of a colour image (not grey, not quantised) is
// reported as soon as it is final; a file with several scans is then read
// expecting as many scans as the file holds (or `scanForecast`, when given),
// so that its rows can come while its last scan is read. A wrong forecast
// costs time, never a different pixel.
Raster DecodeJpeg(std::span<const std::uint8_t> data, bool paletteMode, RowProgress* progress,
                  std::optional<int> scanForecast = std::nullopt);

// The JPEG image object: loading reads the whole file and its header, the
// first ToRaster decodes the pixels.
class JpegImage {
 public:
  explicit JpegImage(bool paletteMode = false) : paletteMode_(paletteMode) {}
  void LoadJpeg(const std::string& path);
  // The same from bytes already at hand; the path form opens the file.
  void LoadJpeg(ByteSource& source);
  int Width() const;
  int Height() const;
  // The first call decodes (and lets the file's bytes go). With a progress,
  // the rows go to it: a colour image's as soon as each is final, a grey or
  // palette image's once it is decoded.
  void ToRaster(Raster& raster, RowProgress* progress = nullptr);

 private:
  bool paletteMode_;
  ByteBlock data_;
  int width_ = 0;
  int height_ = 0;
  bool decoded_ = false;
  Raster raster_;
};

}  // namespace tolvane
