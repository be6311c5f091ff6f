#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "raster/raster.h"
#include "raster/row_progress.h"
#include "support/byte_block.h"

namespace tolvane {

// Whether JPEG images are decoded to a 236-colour palette; decided once at
// start-up from the display's depth, off unless a caller turns it on.
void SetJpegPaletteMode(bool on);
bool JpegPaletteMode();

// Decodes the bytes of a whole JPEG file, as ToRaster does. With a progress,
// each row is reported as soon as it is final; a file with several scans is
// then read expecting as many scans as the file holds (or `scanForecast`,
// when given), so that its rows can come while its last scan is read. A
// wrong forecast costs time, never a different pixel.
Raster DecodeJpeg(std::span<const std::uint8_t> data, bool paletteMode, RowProgress* progress,
                  std::optional<int> scanForecast = std::nullopt);

// The JPEG image object: loading reads the whole file and its header, the
// first ToRaster decodes the pixels.
class JpegImage {
 public:
  void LoadJpeg(const std::string& path);
  int Width() const;
  int Height() const;
  // With a progress, each decoded row is reported as soon as it is final.
  void ToRaster(Raster& raster, RowProgress* progress = nullptr);

 private:
  ByteBlock data_;
  int width_ = 0;
  int height_ = 0;
  bool decoded_ = false;
  Raster raster_;
};

}  // namespace tolvane
