#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "formats/png/png_chunks.h"
#include "formats/png/png_gamma.h"
#include "formats/png/png_header.h"
#include "raster/raster.h"
#include "raster/row_progress.h"
#include "support/byte_block.h"

namespace tolvane::png {

// One alpha byte per pixel, top row first, no row padding. Zero-filled and
// allocated lazily by the system, so a huge header commits no memory until
// rows arrive.
class AlphaPlane {
 public:
  // Fails with the out-of-memory message.
  AlphaPlane(std::uint32_t width, std::uint32_t height);

  std::uint8_t* Row(std::uint32_t y) {
    return bytes_.data() + static_cast<std::size_t>(y) * width_;
  }
  const std::uint8_t* Row(std::uint32_t y) const {
    return bytes_.data() + static_cast<std::size_t>(y) * width_;
  }

 private:
  ByteBlock bytes_;
  std::size_t width_;
};

// Where decoded pixels go: the pixel store (bottom row first; indices for
// gray and palette images, blue-green-red for colour images) and, for colour
// types 4 and 6, the alpha plane.
struct DecodedPlanes {
  Raster store;
  std::shared_ptr<AlphaPlane> alpha;
};

// Bits per pixel of the store for a colour type and bit depth, 0 when the
// program does not take that combination.
int StoreBitsFor(std::uint8_t colorType, std::uint8_t bitDepth);

// The step between the gray ramp entries that samples of a gray image at
// this depth index: 2-bit samples are stored as the 4-bit levels 0, 5, 10
// and 15, every other depth as itself.
unsigned GrayRampStep(std::uint8_t bitDepth);

// Zero-filled planes for a header; no store when the combination is not
// taken (decoding then fails). Fails with the out-of-memory message.
DecodedPlanes CreatePlanes(const PngHeader& header);

// Inflates, unfilters and stores the image data, a row at a time. Fails with
// the bit-depth message for a combination that is not taken, with the zlib
// message for bad compressed data or a stream that ends early, and with the
// CRC message when the file ends inside the image data.
// A non-interlaced image reports each stored row to `rows`, if given (a
// session over planes.store); the caller finishes it.
void DecodeImageData(const PngHeader& header, IdatSource& source, const ByteTable& gamma,
                     DecodedPlanes& planes, RowProgressSession* rows = nullptr);

}  // namespace tolvane::png
