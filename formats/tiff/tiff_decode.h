#pragma once

#include <cstdint>
#include <span>

#include "raster/raster.h"
#include "raster/row_progress.h"
#include "support/byte_source.h"

namespace tolvane {

enum class TiffReadOrder {
  // libtiff's read of the whole image at once; no row is reported.
  WholeImage,
  // Band by band, each band's rows reported as soon as they are final, where
  // that gives the same pixels as the whole-image read (formats/tiff/tiff_bands.h);
  // the whole-image read elsewhere.
  BandsWherePossible,
};

// Decodes the first image of a TIFF file, from the source's position on, into a Bits32 raster
// with alpha Defined (colours premultiplied). Fails with the
// invalid-stream-format message for data libtiff cannot read, and with the
// out-of-memory one for an image of more than 2,147,483,647 pixel bytes or a
// store beyond the memory budget. Only an image read band by band reports
// its rows; `readInBands`, if given, tells whether it was. A source that fails
// to read fails with its own message.
Raster DecodeTiff(ByteSource& source, TiffReadOrder order, RowProgress* progress = nullptr,
                  bool* readInBands = nullptr);
// The same for a file held in memory.
Raster DecodeTiff(std::span<const std::uint8_t> data, TiffReadOrder order,
                  RowProgress* progress = nullptr, bool* readInBands = nullptr);

}  // namespace tolvane
