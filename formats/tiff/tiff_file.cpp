#include "formats/tiff/tiff_file.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <limits>
#include <mutex>
#include <span>
#include <string>

#include "support/error.h"
#include "support/memory_budget.h"
#include "support/messages.h"

namespace tolvane {

namespace {

// The largest single allocation libtiff may make for one file (a strip or
// tile buffer, a tag array): the memory budget, so a hostile header cannot
// reserve more while a real strip that fits in memory is still read.
tmsize_t LibtiffAllocationLimit() {
  return static_cast<tmsize_t>(
      std::min<std::uint64_t>(MemoryBudget(), std::numeric_limits<tmsize_t>::max()));
}

// The pieces a file held whole is read in.
constexpr std::size_t kHeldReadPiece = 1 << 20;

TiffBytes& BytesOf(thandle_t handle) { return *static_cast<TiffBytes*>(handle); }

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t count) {
  TiffBytes& file = BytesOf(handle);
  if (count <= 0 || file.position >= file.size) return 0;
  const auto length = static_cast<std::size_t>(
      std::min<std::uint64_t>(file.size - file.position, static_cast<std::uint64_t>(count)));
  std::size_t got = 0;
  try {
    got = file.source->ReadAt(file.start + file.position, buffer, length);
  } catch (...) {
    if (!file.failure) file.failure = std::current_exception();
    return 0;
  }
  file.position += got;
  return static_cast<tmsize_t>(got);
}

tmsize_t WriteProc(thandle_t /*handle*/, void* /*buffer*/, tmsize_t /*count*/) { return 0; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  TiffBytes& file = BytesOf(handle);
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
toff_t SizeProc(thandle_t handle) { return BytesOf(handle).size; }
// A file held whole is its own mapping; libtiff only reads through it. A file
// read in pieces has none, and libtiff then reads through ReadProc alone.
int MapProc(thandle_t handle, void** base, toff_t* size) {
  const TiffBytes& file = BytesOf(handle);
  if (file.mapping == nullptr || file.size == 0) return 0;
  *base = const_cast<std::uint8_t*>(file.mapping);
  *size = file.size;
  return 1;
}

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

// Opens the first directory; null where libtiff cannot.
TiffHandle OpenClient(TiffBytes& file) {
  SilenceGlobalHandlers();
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) throw Error(std::string(messages::kOutOfMemory));
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), LibtiffAllocationLimit());
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), DropMessage, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), DropMessage, nullptr);
  return TiffHandle(TIFFClientOpenExt("tiff", "r", &file, ReadProc, WriteProc, SeekProc, CloseProc,
                                      SizeProc, MapProc, UnmapProc, options.get()));
}

// The codecs whose strips and tiles libtiff reads the same way with or
// without a mapping: each by its byte count, held to the end of the file, and
// decoded from those bytes alone. libtiff 4.5 reads an uncompressed strip or
// tile by its computed size instead when the file is not mapped, and only
// through a mapping an uncompressed tile whose byte size is not a multiple of
// 1024; old-style JPEG reads the file itself; the rest are rare.
bool ReadsAlikeInPieces(TIFF* tif) {
  std::uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  switch (compression) {
    case COMPRESSION_LZW:
    case COMPRESSION_PACKBITS:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
    case COMPRESSION_JPEG: return true;
    default: return false;
  }
}

}  // namespace

void ThrowInvalidTiff() { throw Error(std::string(messages::kInvalidStreamFormat)); }

// A file libtiff cannot open in pieces is opened again held whole, so that
// whatever it makes of a damaged file is what it makes of it mapped.
OpenTiff::OpenTiff(ByteSource& source) {
  const std::uint64_t start = source.Position();
  const std::uint64_t size = source.Size() > start ? source.Size() - start : 0;
  // Refused as a file to be held whole always was, read in pieces or not.
  CheckRestFitsBudget(size);
  streamed_.source = &source;
  streamed_.start = start;
  streamed_.size = size;
  tif_ = OpenClient(streamed_);
  // libtiff only drops some tags it cannot read: the file's own read error
  // goes first, as when the file was read whole.
  RethrowReadFailure();
  if (tif_ && ReadsAlikeInPieces(tif_.get())) return;
  tif_.reset();
  OpenHeldWhole(source);
}

// Reading in pieces moves the source no further, so the rest is the file.
void OpenTiff::OpenHeldWhole(ByteSource& source) {
  held_ = source.ReadRest(kHeldReadPiece);
  heldSource_.emplace(std::span<const std::uint8_t>(held_.data(), held_.size()));
  mapped_.source = &*heldSource_;
  mapped_.size = held_.size();
  mapped_.mapping = held_.data();
  tif_ = OpenClient(mapped_);
  if (!tif_) ThrowInvalidTiff();
}

void OpenTiff::RethrowReadFailure() const {
  if (streamed_.failure) std::rethrow_exception(streamed_.failure);
}

}  // namespace tolvane
