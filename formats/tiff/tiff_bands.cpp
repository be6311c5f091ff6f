#include "formats/tiff/tiff_bands.h"

#include <algorithm>

namespace tolvane {

// Why a band read can differ from a whole-image read at all: libtiff's strip
// reader for the RGBA interface (gtStripContig) decodes each strip into one
// buffer that it allocates, zero-filled, per call and reuses for the
// following strips of that call, and then hands the strip's rows to a pixel
// routine that depends on nothing but the buffer and the place of the rows.
// A band that starts at a strip boundary therefore makes the same calls as
// the whole-image read, except that its first strip is decoded into a fresh
// buffer and by the path libtiff keeps for a call's first strip. The layouts
// accepted here are those where neither can change a byte:
//
// - strips, not tiles, with contiguous samples: tiles and separate planes go
//   through other readers;
// - the stored row order, which the reader always asks for: the rows of a
//   band then land bottom row first, as the raster stores them, without any
//   flip across the band;
// - no YCbCr: a subsampled image's strip is read through a scan-line size
//   rounded down, which can leave the end of the buffer undecoded, so stale
//   bytes of the previous strip would differ from the fresh zeros;
// - a codec that either fills every byte asked of it or fails: none (such a
//   file is held whole and read through the mapping, formats/tiff/tiff_file.h,
//   where every strip is held to its byte count alike), LZW
//   and PackBits. Deflate (a strip whose data decompress to more than its rows
//   is accepted, and libdeflate may then leave its last bytes unwritten) and
//   JPEG (a strip whose image is shorter than the strip fills only its own
//   rows) can leave a tail; old-style JPEG keeps state from strip to strip;
//   the other codecs are rare enough to keep the whole-image read.

namespace {

// Bands of at least this many rows, so that the work of each read call is
// spread over enough rows.
constexpr std::uint64_t kMinBandRows = 32;

std::uint16_t FieldOrDefault(TIFF* tif, ttag_t tag) {
  std::uint16_t value = 0;
  TIFFGetFieldDefaulted(tif, tag, &value);
  return value;
}

bool LaidOutInPlainStrips(TIFF* tif) {
  if (TIFFIsTiled(tif)) return false;
  if (FieldOrDefault(tif, TIFFTAG_PLANARCONFIG) == PLANARCONFIG_SEPARATE &&
      FieldOrDefault(tif, TIFFTAG_SAMPLESPERPIXEL) > 1) {
    return false;
  }
  std::uint16_t photometric = 0;
  return !TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) || photometric != PHOTOMETRIC_YCBCR;
}

bool DecodedAlike(TIFF* tif) {
  switch (FieldOrDefault(tif, TIFFTAG_COMPRESSION)) {
    case COMPRESSION_NONE:
    case COMPRESSION_LZW:
    case COMPRESSION_PACKBITS: return true;
    default: return false;
  }
}

}  // namespace

std::optional<std::uint32_t> BandRowsFor(TIFF* tif) {
  std::uint32_t height = 0;
  std::uint32_t rowsPerStrip = 0;
  if (!TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height) || height == 0) return std::nullopt;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  if (rowsPerStrip == 0 || !LaidOutInPlainStrips(tif) || !DecodedAlike(tif)) {
    return std::nullopt;
  }
  const std::uint64_t strips = (kMinBandRows + rowsPerStrip - 1) / rowsPerStrip;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(strips * rowsPerStrip, height));
}

}  // namespace tolvane
