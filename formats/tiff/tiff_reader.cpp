#include "formats/tiff/tiff_reader.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "support/error.h"
#include "support/files.h"
#include "support/memory_budget.h"
#include "support/messages.h"

namespace tolvane {

namespace {

constexpr std::size_t kFileReadPiece = 1 << 20;

// The largest single allocation libtiff may make for one file (a strip or
// tile buffer, a tag array): the memory budget, so a hostile header cannot
// reserve more while a real strip that fits in memory is still read.
tmsize_t LibtiffAllocationLimit() {
  return static_cast<tmsize_t>(
      std::min<std::uint64_t>(MemoryBudget(), std::numeric_limits<tmsize_t>::max()));
}

// Width x 4 x height must fit a 32-bit signed size.
constexpr std::uint64_t kMaxPixelBytes = 2'147'483'647;

[[noreturn]] void ThrowInvalid() { throw Error(std::string(messages::kInvalidStreamFormat)); }

// The file's bytes, read by libtiff through the client procedures below.
struct MemoryFile {
  const std::uint8_t* data;
  std::uint64_t size;
  std::uint64_t position;
};

MemoryFile& FileOf(thandle_t handle) { return *static_cast<MemoryFile*>(handle); }

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t count) {
  MemoryFile& file = FileOf(handle);
  if (count <= 0 || file.position >= file.size) return 0;
  const std::uint64_t available = file.size - file.position;
  const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(available, static_cast<std::uint64_t>(count)));
  std::memcpy(buffer, file.data + file.position, length);
  file.position += length;
  return static_cast<tmsize_t>(length);
}

tmsize_t WriteProc(thandle_t /*handle*/, void* /*buffer*/, tmsize_t /*count*/) { return 0; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  MemoryFile& file = FileOf(handle);
  // Offsets are unsigned; a backward move arrives wrapped and wraps back.
  switch (whence) {
    case SEEK_SET: file.position = offset; break;
    case SEEK_CUR: file.position += offset; break;
    case SEEK_END: file.position = file.size + offset; break;
    default: return static_cast<toff_t>(-1);
  }
  return file.position;
}

int CloseProc(thandle_t /*handle*/) { return 0; }
toff_t SizeProc(thandle_t handle) { return FileOf(handle).size; }
int MapProc(thandle_t /*handle*/, void** /*base*/, toff_t* /*size*/) { return 0; }
void UnmapProc(thandle_t /*handle*/, void* /*base*/, toff_t /*size*/) {}

// libtiff's messages are not the user's: every one is dropped.
int DropMessage(TIFF* /*tif*/, void* /*user*/, const char* /*module*/, const char* /*format*/,
                va_list /*args*/) {
  return 1;
}

void SilenceGlobalHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
}

struct OptionsDeleter {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
struct TiffDeleter {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffDeleter>;

TiffHandle OpenFirstDirectory(MemoryFile& file) {
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) throw Error(std::string(messages::kOutOfMemory));
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), LibtiffAllocationLimit());
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), DropMessage, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), DropMessage, nullptr);
  // "m": read through the procedures, never through a mapping.
  TiffHandle tif(TIFFClientOpenExt("tiff", "rm", &file, ReadProc, WriteProc, SeekProc, CloseProc,
                                   SizeProc, MapProc, UnmapProc, options.get()));
  if (!tif) ThrowInvalid();
  return tif;
}

// How libtiff's RGBA interface reads the file's extra sample:
// EXTRASAMPLE_ASSOCALPHA, EXTRASAMPLE_UNASSALPHA or 0 for no alpha.
int AlphaKindOf(TIFF* tif) {
  TIFFRGBAImage image;
  char message[1024];
  if (!TIFFRGBAImageBegin(&image, tif, 1, message)) ThrowInvalid();
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
  if (!TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) || count == 0) ThrowInvalid();
  std::vector<std::uint16_t> changed(kinds, kinds + count);
  changed[0] = EXTRASAMPLE_ASSOCALPHA;
  if (!TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, count, changed.data())) ThrowInvalid();
}

std::uint8_t Unpremultiply(std::uint32_t colour, std::uint32_t alpha) {
  if (alpha == 0) return 0;
  return static_cast<std::uint8_t>(std::min<std::uint32_t>((colour * 255 + alpha / 2) / alpha, 255));
}

// libtiff's packed pixels (red in the low byte, alpha in the high) become
// blue, green, red and straight alpha, in place.
void ToStraightBgra(std::span<std::uint8_t> store, bool premultiplied) {
  for (std::size_t i = 0; i + 4 <= store.size(); i += 4) {
    std::uint32_t packed = 0;
    std::memcpy(&packed, store.data() + i, 4);
    std::uint32_t red = TIFFGetR(packed);
    std::uint32_t green = TIFFGetG(packed);
    std::uint32_t blue = TIFFGetB(packed);
    const std::uint32_t alpha = TIFFGetA(packed);
    if (premultiplied) {
      red = Unpremultiply(red, alpha);
      green = Unpremultiply(green, alpha);
      blue = Unpremultiply(blue, alpha);
    }
    store[i] = static_cast<std::uint8_t>(blue);
    store[i + 1] = static_cast<std::uint8_t>(green);
    store[i + 2] = static_cast<std::uint8_t>(red);
    store[i + 3] = static_cast<std::uint8_t>(alpha);
  }
}

Raster Decode(std::span<const std::uint8_t> data) {
  SilenceGlobalHandlers();
  MemoryFile file{data.data(), data.size(), 0};
  TiffHandle tif = OpenFirstDirectory(file);

  std::uint32_t width = 0;
  std::uint32_t height = 0;
  if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height) || width == 0 || height == 0) {
    ThrowInvalid();
  }
  if (std::uint64_t{width} * 4 * height > kMaxPixelBytes) {
    throw Error(std::string(messages::kOutOfMemory));
  }
  char message[1024];
  if (!TIFFRGBAImageOK(tif.get(), message)) ThrowInvalid();
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
    ThrowInvalid();
  }
  ToStraightBgra(store, alpha == EXTRASAMPLE_ASSOCALPHA);
  raster.SetAlphaMode(AlphaMode::Defined);  // c := (c x a + 127) div 255
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
