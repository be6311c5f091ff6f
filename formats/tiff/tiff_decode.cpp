#include "formats/tiff/tiff_decode.h"

#include <tiffio.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "formats/tiff/tiff_bands.h"
#include "formats/tiff/tiff_file.h"
#include "formats/tiff/tiff_pixels.h"
#include "support/error.h"
#include "support/messages.h"

namespace tolvane {

namespace {

// Width x 4 x height must fit a 32-bit signed size.
constexpr std::uint64_t kMaxPixelBytes = 2'147'483'647;

// libtiff's RGBA reader state for one file, released on every path. Begin
// releases what it took itself when it fails, so End is only for success.
class RgbaImage {
 public:
  explicit RgbaImage(TIFF* tif) {
    char message[1024];
    if (!TIFFRGBAImageBegin(&image_, tif, 1, message)) ThrowInvalidTiff();
  }
  ~RgbaImage() { TIFFRGBAImageEnd(&image_); }
  RgbaImage(const RgbaImage&) = delete;
  RgbaImage& operator=(const RgbaImage&) = delete;

  TIFFRGBAImage& Get() { return image_; }

 private:
  TIFFRGBAImage image_{};
};

struct ImageSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

ImageSize CheckedSize(TIFF* tif) {
  ImageSize size;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &size.width) ||
      !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &size.height) || size.width == 0 ||
      size.height == 0) {
    ThrowInvalidTiff();
  }
  if (std::uint64_t{size.width} * 4 * size.height > kMaxPixelBytes) {
    throw Error(std::string(messages::kOutOfMemory));
  }
  return size;
}

// How libtiff's RGBA interface reads the file's extra sample:
// EXTRASAMPLE_ASSOCALPHA, EXTRASAMPLE_UNASSALPHA or 0 for no alpha.
int AlphaKindOf(TIFF* tif) { return RgbaImage(tif).Get().alpha; }

// libtiff premultiplies unassociated alpha on some of its paths and not on
// others. Declaring the alpha associated makes every path hand the stored
// values through unchanged, which for such a file are the straight ones.
void KeepStoredValues(TIFF* tif) {
  std::uint16_t count = 0;
  std::uint16_t* kinds = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) || count == 0) ThrowInvalidTiff();
  std::vector<std::uint16_t> changed(kinds, kinds + count);
  changed[0] = EXTRASAMPLE_ASSOCALPHA;
  if (!TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, count, changed.data())) ThrowInvalidTiff();
}

// The rows come out as the file stores them, top row first, whatever its
// Orientation tag says: the platform decoder of the Windows build gives them
// so. libtiff's RGBA interface would flip the image by the tag (and would
// not turn the orientations that exchange rows and columns, but flip them
// as the first four).
void KeepStoredOrder(TIFF* tif) {
  if (!TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT)) ThrowInvalidTiff();
}

std::uint32_t* PackedPixels(std::span<std::uint8_t> bytes) {
  return reinterpret_cast<std::uint32_t*>(bytes.data());
}

// libtiff fills the store directly: bottom row first, as the raster keeps it.
void ReadWholeImage(TIFF* tif, Raster& raster, bool associated) {
  const std::span<std::uint8_t> store = raster.MutableStore();
  if (!TIFFReadRGBAImageOriented(tif, static_cast<std::uint32_t>(raster.Width()),
                                 static_cast<std::uint32_t>(raster.Height()), PackedPixels(store),
                                 ORIENTATION_BOTLEFT, 1)) {
    ThrowInvalidTiff();
  }
  ToPremultipliedBgra(store, associated);
}

// Each band is read straight into its place in the store and made final
// there while it is still in the cache; its rows are then reported, top to
// bottom, and never touched again.
void ReadInBands(TIFF* tif, Raster& raster, std::uint32_t bandRows, bool associated,
                 RowProgress* progress) {
  RgbaImage reader(tif);
  TIFFRGBAImage& image = reader.Get();
  image.req_orientation = ORIENTATION_BOTLEFT;
  const auto width = static_cast<std::uint32_t>(raster.Width());
  const auto height = static_cast<std::uint32_t>(raster.Height());
  const std::size_t rowBytes = raster.RowBytes();
  const std::span<std::uint8_t> store = raster.MutableStore();
  RowProgressSession session(progress, raster);
  for (std::uint32_t top = 0; top < height;) {
    const std::uint32_t count = std::min(bandRows, height - top);
    // Asked for a bottom-left origin, libtiff writes a band's last row first:
    // the band starts in memory at its bottom row, as in the bottom-up store.
    const std::span<std::uint8_t> band =
        store.subspan((height - top - count) * rowBytes, count * rowBytes);
    image.row_offset = static_cast<int>(top);
    if (!TIFFRGBAImageGet(&image, PackedPixels(band), width, count)) ThrowInvalidTiff();
    ToPremultipliedBgra(band, associated);
    for (std::uint32_t y = top; y < top + count; ++y) session.RowDone(static_cast<int>(y));
    top += count;
  }
  session.Finish();
}

Raster DecodeOpened(TIFF* tif, TiffReadOrder order, RowProgress* progress, bool* readInBands) {
  const ImageSize size = CheckedSize(tif);
  KeepStoredOrder(tif);
  char message[1024];
  if (!TIFFRGBAImageOK(tif, message)) ThrowInvalidTiff();
  const int alpha = AlphaKindOf(tif);
  if (alpha == EXTRASAMPLE_UNASSALPHA) KeepStoredValues(tif);
  const bool associated = alpha == EXTRASAMPLE_ASSOCALPHA;

  Raster raster;
  raster.CreateIndependent(StoreLayout{static_cast<int>(size.width),
                                       static_cast<int>(size.height),
                                       32,
                                       std::nullopt,
                                       RowOrder::BottomUp,
                                       {}});
  const std::optional<std::uint32_t> bandRows =
      order == TiffReadOrder::BandsWherePossible ? BandRowsFor(tif) : std::nullopt;
  if (bandRows) {
    ReadInBands(tif, raster, *bandRows, associated, progress);
  } else {
    ReadWholeImage(tif, raster, associated);
  }
  if (readInBands != nullptr) *readInBands = bandRows.has_value();
  raster.SetAlphaDefinedAsStored();
  return raster;
}

}  // namespace

Raster DecodeTiff(ByteSource& source, TiffReadOrder order, RowProgress* progress,
                  bool* readInBands) {
  // Not const: libtiff's read procedures record a failed read in it.
  OpenTiff file(source);
  Raster raster;
  try {
    raster = DecodeOpened(file.Get(), order, progress, readInBands);
  } catch (const Error&) {
    file.RethrowReadFailure();
    throw;
  }
  // A failed read that libtiff got over is still the file's read error.
  file.RethrowReadFailure();
  return raster;
}

Raster DecodeTiff(std::span<const std::uint8_t> data, TiffReadOrder order, RowProgress* progress,
                  bool* readInBands) {
  MemorySource source(data);
  return DecodeTiff(source, order, progress, readInBands);
}

}  // namespace tolvane
