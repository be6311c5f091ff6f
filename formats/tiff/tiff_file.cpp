#include "formats/tiff/tiff_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
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

MemoryFile& FileOf(thandle_t handle) { return *static_cast<MemoryFile*>(handle); }

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t count) {
  MemoryFile& file = FileOf(handle);
  const std::uint64_t size = file.bytes.size();
  if (count <= 0 || file.position >= size) return 0;
  const std::uint64_t available = size - file.position;
  const auto length = static_cast<std::size_t>(
      std::min<std::uint64_t>(available, static_cast<std::uint64_t>(count)));
  std::memcpy(buffer, file.bytes.data() + file.position, length);
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
    case SEEK_END: file.position = file.bytes.size() + offset; break;
    default: return static_cast<toff_t>(-1);
  }
  return file.position;
}

int CloseProc(thandle_t /*handle*/) { return 0; }
toff_t SizeProc(thandle_t handle) { return FileOf(handle).bytes.size(); }
// The mapping is the bytes already held; libtiff only reads through it.
int MapProc(thandle_t handle, void** base, toff_t* size) {
  const MemoryFile& file = FileOf(handle);
  if (file.bytes.empty()) return 0;
  *base = const_cast<std::uint8_t*>(file.bytes.data());
  *size = file.bytes.size();
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

}  // namespace

void ThrowInvalidTiff() { throw Error(std::string(messages::kInvalidStreamFormat)); }

TiffHandle OpenFirstDirectory(MemoryFile& file) {
  SilenceGlobalHandlers();
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) throw Error(std::string(messages::kOutOfMemory));
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), LibtiffAllocationLimit());
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), DropMessage, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), DropMessage, nullptr);
  // Mapped: libtiff 4.5 reads uncompressed tiles whose byte size is not a
  // multiple of 1024 only through a mapping, and reads every strip and tile
  // by its byte count, whatever the codec.
  TiffHandle tif(TIFFClientOpenExt("tiff", "r", &file, ReadProc, WriteProc, SeekProc, CloseProc,
                                   SizeProc, MapProc, UnmapProc, options.get()));
  if (!tif) ThrowInvalidTiff();
  return tif;
}

}  // namespace tolvane
