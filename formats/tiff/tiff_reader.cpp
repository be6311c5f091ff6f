#include "formats/tiff/tiff_reader.h"

#include <tiffio.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/tiff/tiff_file.h"
#include "formats/tiff/tiff_pixels.h"
#include "support/error.h"
#include "support/files.h"
#include "support/messages.h"

namespace tolvane {

namespace {

constexpr std::size_t kFileReadPiece = 1 << 20;

// Width x 4 x height must fit a 32-bit signed size.
constexpr std::uint64_t kMaxPixelBytes = 2'147'483'647;

// How libtiff's RGBA interface reads the file's extra sample:
// EXTRASAMPLE_ASSOCALPHA, EXTRASAMPLE_UNASSALPHA or 0 for no alpha.
int AlphaKindOf(TIFF* tif) {
  TIFFRGBAImage image;
  char message[1024];
  if (!TIFFRGBAImageBegin(&image, tif, 1, message)) ThrowInvalidTiff();
  const int alpha = image.alpha;
  TIFFRGBAImageEnd(&image);
  return alpha;
}

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

Raster Decode(std::span<const std::uint8_t> data) {
  MemoryFile file{data};
  const TiffHandle tif = OpenFirstDirectory(file);

  std::uint32_t width = 0;
  std::uint32_t height = 0;
  if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height) || width == 0 || height == 0) {
    ThrowInvalidTiff();
  }
  if (std::uint64_t{width} * 4 * height > kMaxPixelBytes) {
    throw Error(std::string(messages::kOutOfMemory));
  }
  char message[1024];
  if (!TIFFRGBAImageOK(tif.get(), message)) ThrowInvalidTiff();
  const int alpha = AlphaKindOf(tif.get());
  if (alpha == EXTRASAMPLE_UNASSALPHA) KeepStoredValues(tif.get());

  // libtiff fills the store directly: bottom row first, as the raster keeps it.
  Raster raster;
  raster.CreateIndependent(StoreLayout{static_cast<int>(width), static_cast<int>(height), 32,
                                       std::nullopt, RowOrder::BottomUp, {}});
  std::span<std::uint8_t> store = raster.MutableStore();
  if (!TIFFReadRGBAImageOriented(tif.get(), width, height,
                                 reinterpret_cast<std::uint32_t*>(store.data()),
                                 ORIENTATION_BOTLEFT, 1)) {
    ThrowInvalidTiff();
  }
  ToPremultipliedBgra(store, alpha == EXTRASAMPLE_ASSOCALPHA);
  raster.SetAlphaDefinedAsStored();
  return raster;
}

}  // namespace

void LoadTiffFile(const std::string& path, Raster& raster) {
  std::vector<std::uint8_t> data;
  {
    InputFile file(path);
    data = file.ReadRest(kFileReadPiece);
  }
  raster = Decode(data);
}

}  // namespace tolvane
