// TIFF on Windows: the system's imaging component (WIC) decodes the file.
// WIC picks its decoder by the data's content, not by the name, so a file
// routed here is read as whatever image format WIC finds in it.

#include <objbase.h>
#include <wincodec.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>

#include "formats/tiff/tiff_reader.h"
#include "support/error.h"
#include "support/files.h"
#include "support/memory_budget.h"
#include "support/messages.h"

namespace tolvane {

namespace {

constexpr std::size_t kFileReadPiece = 1 << 20;

// Holds one reference to a COM object and releases it at the end.
template <typename Interface>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (object_ != nullptr) object_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  Interface* operator->() const { return object_; }
  Interface* get() const { return object_; }
  // For the calls that hand out a new reference.
  Interface** Receive() { return &object_; }

 private:
  Interface* object_ = nullptr;
};

// COM for the thread that decodes, balanced at the end. A thread already in
// another apartment (RPC_E_CHANGED_MODE) can still use WIC: it is left as is.
class ComApartment {
 public:
  ComApartment()
      : initialised_(SUCCEEDED(
            ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
  ~ComApartment() {
    if (initialised_) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_;
};

[[noreturn]] void ThrowInvalidImage() { throw Error(std::string(messages::kInvalidStreamFormat)); }

void Check(HRESULT result) {
  if (FAILED(result)) ThrowInvalidImage();
}

// Decodes the first frame fully, converts it to straight BGRA and copies it
// into a Bits32 raster, top row first; the colours are then premultiplied.
Raster Decode(ByteBlock& data) {
  if (data.size() > std::numeric_limits<DWORD>::max())
    throw Error(std::string(messages::kOutOfMemory));
  ComRef<IWICImagingFactory> factory;
  Check(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                           IID_PPV_ARGS(factory.Receive())));
  // A stream straight over our copy of the file, without another copy.
  ComRef<IWICStream> stream;
  Check(factory->CreateStream(stream.Receive()));
  Check(stream->InitializeFromMemory(data.data(), static_cast<DWORD>(data.size())));

  ComRef<IWICBitmapDecoder> decoder;
  Check(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                         decoder.Receive()));
  ComRef<IWICBitmapFrameDecode> frame;
  Check(decoder->GetFrame(0, frame.Receive()));
  UINT width = 0;
  UINT height = 0;
  Check(frame->GetSize(&width, &height));
  if (width == 0 || height == 0) ThrowInvalidImage();
  // Refused before WIC decodes anything: the pixel bytes must fit a signed
  // 32-bit count and the memory budget, whatever the header announces.
  const std::uint64_t bytes = std::uint64_t{width} * 4 * height;
  if (bytes > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) ||
      !FitsMemoryBudget(bytes)) {
    throw Error(std::string(messages::kOutOfMemory));
  }
  ComRef<IWICBitmap> decoded;
  Check(factory->CreateBitmapFromSource(frame.get(), WICBitmapCacheOnLoad, decoded.Receive()));

  ComRef<IWICBitmapSource> converted;
  if (FAILED(::WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, decoded.get(),
                                      converted.Receive()))) {
    ThrowInvalidImage();
  }
  Raster raster;
  raster.CreateIndependent(StoreLayout{
      static_cast<int>(width), static_cast<int>(height), 32, std::nullopt, RowOrder::BottomUp, {}});
  const UINT stride = width * 4;
  for (UINT y = 0; y < height; ++y) {
    const WICRect row{0, static_cast<INT>(y), static_cast<INT>(width), 1};
    const std::span<std::uint8_t> target = raster.MutableRow(static_cast<int>(y));
    if (FAILED(converted->CopyPixels(&row, stride, stride, target.data()))) ThrowInvalidImage();
  }
  raster.SetAlphaMode(AlphaMode::Defined);
  return raster;
}

}  // namespace

// WIC reads from a stream over the bytes, so the reader holds them whole.
// WIC decodes the whole frame at once: the rows are handed over once the
// file's bytes are let go.
void LoadTiff(ByteSource& source, Raster& raster, RowProgress* progress) {
  Raster decoded = [&] {
    ByteBlock data = source.ReadRest(kFileReadPiece);
    const ComApartment apartment;
    return Decode(data);
  }();
  raster = std::move(decoded);
  HandOverAllRows(progress, raster);
}

void LoadTiffFile(const std::string& path, Raster& raster, RowProgress* progress) {
  InputFile file(path);
  LoadTiff(file, raster, progress);
}

}  // namespace tolvane
