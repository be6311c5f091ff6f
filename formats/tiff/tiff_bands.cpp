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
// - orientation top-left: the rows of a band then land bottom row first, as
//   the raster stores them, without any flip across the band;
// - no YCbCr: a subsampled image's strip is read through a scan-line size
//   rounded down, which can leave the end of the buffer undecoded, so stale
//   bytes of the previous strip would differ from the fresh zeros;
// - a codec that either fills every byte asked of it or fails: LZW and
//   PackBits. Deflate (a strip whose data decompress to more than its rows
//   is accepted, and libdeflate may then leave its last bytes unwritten) and
//   JPEG (a strip whose image is shorter than the strip fills only its own
//   rows) can leave a tail; old-style JPEG keeps state from strip to strip;
//   the other codecs are rare enough to keep the whole-image read;
// - uncompressed strips that each hold their rows within the file: libtiff
//   reads a call's first uncompressed strip by its byte count and every
//   later one by its row count, which only agree on such strips.

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
  if (FieldOrDefault(tif, TIFFTAG_ORIENTATION) != ORIENTATION_TOPLEFT) return false;
  if (FieldOrDefault(tif, TIFFTAG_PLANARCONFIG) == PLANARCONFIG_SEPARATE &&
      FieldOrDefault(tif, TIFFTAG_SAMPLESPERPIXEL) > 1) {
    return false;
  }
  std::uint16_t photometric = 0;
  return !TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) || photometric != PHOTOMETRIC_YCBCR;
}

bool EveryStripHoldsItsRows(TIFF* tif, std::uint32_t height, std::uint32_t rowsPerStrip,
                            std::uint64_t fileSize) {
  const std::uint64_t strips = (std::uint64_t{height} + rowsPerStrip - 1) / rowsPerStrip;
  if (strips > TIFFNumberOfStrips(tif)) return false;
  for (std::uint32_t strip = 0; strip < strips; ++strip) {
    const std::uint32_t top = strip * rowsPerStrip;  // below height, so it fits
    const std::uint64_t expected = TIFFVStripSize64(tif, std::min(rowsPerStrip, height - top));
    const std::uint64_t offset = TIFFGetStrileOffset(tif, strip);
    const std::uint64_t byteCount = TIFFGetStrileByteCount(tif, strip);
    if (expected == 0 || byteCount < expected || offset > fileSize || byteCount > fileSize - offset) {
      return false;
    }
  }
  return true;
}

bool DecodedAlike(TIFF* tif, std::uint32_t height, std::uint32_t rowsPerStrip,
                  std::uint64_t fileSize) {
  switch (FieldOrDefault(tif, TIFFTAG_COMPRESSION)) {
    case COMPRESSION_LZW:
    case COMPRESSION_PACKBITS: return true;
    case COMPRESSION_NONE: return EveryStripHoldsItsRows(tif, height, rowsPerStrip, fileSize);
    default: return false;
  }
}

}  // namespace

std::optional<std::uint32_t> BandRowsFor(TIFF* tif, std::uint64_t fileSize) {
  std::uint32_t height = 0;
  std::uint32_t rowsPerStrip = 0;
  if (!TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height) || height == 0) return std::nullopt;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  if (rowsPerStrip == 0 || !LaidOutInPlainStrips(tif) ||
      !DecodedAlike(tif, height, rowsPerStrip, fileSize)) {
    return std::nullopt;
  }
  const std::uint64_t strips = (kMinBandRows + rowsPerStrip - 1) / rowsPerStrip;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(strips * rowsPerStrip, height));
}

}  // namespace tolvane
