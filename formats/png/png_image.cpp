#include "formats/png/png_image.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

#include "formats/png/png_chunks.h"
#include "formats/png/png_draw.h"
#include "formats/png/png_text.h"
#include "support/error.h"
#include "support/files.h"
#include "support/messages.h"

namespace tolvane {

using png::ChunkType;

namespace {

[[noreturn]] void Fail(std::string_view message) { throw Error(std::string(message)); }

bool IsUnderstood(const ChunkType& type) {
  for (const ChunkType& known : {png::kIHDR, png::kIDAT, png::kPLTE, png::kIEND, png::kgAMA,
                                 png::ktRNS, png::kpHYs, png::ktIME, png::ktEXt, png::kzTXt}) {
    if (type == known) return true;
  }
  return false;
}

bool IsCritical(const ChunkType& type) { return (static_cast<unsigned char>(type[0]) & 0x20) == 0; }

bool IsPaletteStore(const Raster& store) {
  return !store.Empty() && IsPaletteFormat(store.Format());
}

}  // namespace

void PngImage::Discard() {
  width_ = 0;
  height_ = 0;
  header_ = {};
  readChunks_ = false;
  hasTransparencyChunk_ = false;
  planes_ = {};
  palette_.clear();
  transparency_.fill(255);
  keyColor_ = {};
  rowsReported_ = false;
}

void PngImage::LoadPng(const std::string& path, RowProgress* progress) {
  Discard();
  InputFile file(path);
  LoadPng(file, progress);
}

void PngImage::LoadPng(ByteSource& bytes, RowProgress* progress) {
  Discard();
  png::ChunkReader reader(bytes);
  if (!reader.ReadSignature()) Fail(messages::kPngInvalidSignature);

  png::GammaTables gamma;
  png::CompressedTextReader texts;
  bool imageDecoded = false;
  // The rows of a store that is itself the working raster (ToRaster), handed
  // over as they are decoded.
  std::optional<RowProgressSession> rows;
  for (int count = 1;; ++count) {
    const png::ChunkHeader chunk = reader.ReadHeader();
    if (count == 1 && chunk.type != png::kIHDR) Fail(messages::kPngIhdrNotFirst);
    if (chunk.type == png::kcHRM || (chunk.type == png::kIDAT && imageDecoded)) {
      reader.Skip(std::uint64_t{chunk.length} + 4);
      continue;
    }
    if (!IsUnderstood(chunk.type) && IsCritical(chunk.type))
      Fail(messages::kPngUnknownCriticalChunk);

    if (chunk.type == png::kIDAT) {
      if (header_.colorType == png::kGray || header_.colorType == png::kGrayAlpha)
        MakeGrayRamp(gamma.forward);
      png::IdatSource source(reader, chunk.length);
      if (progress != nullptr && StoreIsWorkingRaster() && !planes_.store.Empty()) {
        rows.emplace(progress, planes_.store);
      }
      png::DecodeImageData(header_, source, gamma.forward, planes_, rows ? &*rows : nullptr);
      imageDecoded = true;
      readChunks_ = true;
      continue;
    }

    std::vector<std::uint8_t> data = reader.ReadData(chunk);
    if (chunk.type == png::kIHDR) {
      // A later header makes a new image: the rows handed over are not its.
      rows.reset();
      ReadHeaderChunk(data);
    } else if (chunk.type == png::kPLTE) {
      ReadPaletteChunk(data, gamma.forward);
    } else if (chunk.type == png::ktRNS) {
      ReadTransparencyChunk(data);
    } else if (chunk.type == png::kgAMA) {
      gamma.Apply(data.size() == 4 ? png::LoadBe32(data.data()) : 1);
    } else if (chunk.type == png::kzTXt) {
      texts.Read(data);
    }
    // pHYs, tIME, tEXt, zTXt (once inflated) and unknown ancillary chunks
    // are read past: nothing uses them.
    readChunks_ = true;
    hasTransparencyChunk_ = hasTransparencyChunk_ || chunk.type == png::ktRNS;
    if (chunk.type == png::kIEND) break;
  }
  if (!imageDecoded) Fail(messages::kPngNoImageData);

  if (IsPaletteStore(planes_.store)) planes_.store.SetPalette(palette_);
  keyColor_ = DeriveKeyColor(gamma.forward);
  if (rows) {
    rows->Finish();
    rowsReported_ = true;
  }
}

// Only a plain RGB image's rows are final as decoded: an interlaced one's
// change pass by pass, gray and palette stores get their colours when the
// file ends, and alpha (or a palette's transparency) makes a new raster.
bool PngImage::StoreIsWorkingRaster() const {
  return header_.colorType == png::kRgb && header_.interlace == 0;
}

void PngImage::ReadHeaderChunk(const std::vector<std::uint8_t>& data) {
  if (data.size() < 13) Fail(messages::kPngInvalidIhdr);
  png::PngHeader header;
  header.width = png::LoadBe32(data.data());
  header.height = png::LoadBe32(data.data() + 4);
  header.bitDepth = data[8];
  header.colorType = data[9];
  header.compression = data[10];
  header.filter = data[11];
  header.interlace = data[12];
  if (header.width > 65535 || header.height > 65535) Fail(messages::kPngSizeTooLarge);
  if (header.compression != 0) Fail(messages::kPngUnknownCompression);
  if (header.interlace > 1) Fail(messages::kPngUnknownInterlace);
  if (png::ChannelsOf(header.colorType) == 0) Fail(messages::kPngUnknownColorType);
  if (header.bitDepth == 0) Fail(messages::kPngInvalidBitDepth);
  // An empty image cannot be shown nor converted.
  if (header.width == 0 || header.height == 0) Fail(messages::kPngInvalidIhdr);

  header_ = header;
  width_ = static_cast<int>(header.width);
  height_ = static_cast<int>(header.height);
  interlaceMethod_ = header.interlace;
  planes_ = png::CreatePlanes(header);
}

void PngImage::ReadPaletteChunk(const std::vector<std::uint8_t>& data,
                                const png::ByteTable& gamma) {
  if (data.size() % 3 != 0 || data.size() > 768) Fail(messages::kPngInvalidPalette);
  palette_.clear();
  for (std::size_t i = 0; i < data.size(); i += 3) {
    palette_.push_back({gamma[data[i + 2]], gamma[data[i + 1]], gamma[data[i]], 0});
  }
}

void PngImage::ReadTransparencyChunk(const std::vector<std::uint8_t>& data) {
  if (data.size() > 256) Fail(messages::kPngInvalidPalette);
  transparency_.fill(255);
  std::copy(data.begin(), data.end(), transparency_.begin());
}

void PngImage::MakeGrayRamp(const png::ByteTable& gamma) {
  const int bits = png::StoreBitsFor(header_.colorType, header_.bitDepth);
  if (bits == 0) return;  // decoding fails on the bit depth
  const int n = 1 << bits;
  palette_.clear();
  for (int k = 0; k < n; ++k) {
    const std::uint8_t level = gamma[static_cast<std::size_t>(k * 255 / (n - 1))];
    palette_.push_back({level, level, level, 0});
  }
}

Rgb PngImage::DeriveKeyColor(const png::ByteTable& gamma) const {
  const auto entry = [&](std::size_t index) {
    const PaletteEntry c = index < palette_.size() ? palette_[index] : PaletteEntry{};
    return Rgb{c.red, c.green, c.blue};
  };
  switch (header_.colorType) {
    case png::kGray: {
      // The ramp entry that the pixels of the key's sample show. A sample
      // beyond the 2-bit range is invalid and keys the entry of its number.
      const std::uint8_t sample = transparency_[1];
      return entry(sample <= 3 ? sample * png::GrayRampStep(header_.bitDepth) : sample);
    }
    case png::kRgb:
      return Rgb{gamma[transparency_[1]], gamma[transparency_[3]], gamma[transparency_[5]]};
    case png::kPalette:
      for (std::size_t i = 0; i < transparency_.size(); ++i) {
        if (transparency_[i] == 0) return entry(i);
      }
      return Rgb{};
    default: return Rgb{};
  }
}

PngImage::Transparency PngImage::TransparencyMode() const {
  switch (header_.colorType) {
    case png::kGrayAlpha:
    case png::kRgbAlpha: return Transparency::Partial;
    case png::kGray:
    case png::kRgb: return hasTransparencyChunk_ ? Transparency::Key : Transparency::None;
    case png::kPalette: {
      if (!hasTransparencyChunk_) return Transparency::None;
      const auto below = std::count_if(transparency_.begin(), transparency_.end(),
                                       [](std::uint8_t v) { return v != 255; });
      return below == 1 ? Transparency::Key : Transparency::Partial;
    }
    default: return Transparency::None;
  }
}

void PngImage::Draw(Surface& surface, const Rect& rect) const {
  if (!readChunks_ || planes_.store.Empty()) return;
  switch (TransparencyMode()) {
    case Transparency::None: StretchNearest(surface, rect, planes_.store); break;
    case Transparency::Key: StretchColorKey(surface, rect, planes_.store, keyColor_); break;
    case Transparency::Partial:
      png::DrawPartial(
          {header_.colorType, &planes_.store, planes_.alpha.get(), &palette_, &transparency_},
          surface, rect);
      break;
  }
}

void PngImage::ToRaster(Raster& raster, RowProgress* progress) const {
  raster = WorkingRaster();
  if (!rowsReported_) HandOverAllRows(progress, raster);
}

Raster PngImage::WorkingRaster() const {
  Raster result;
  if (planes_.store.Empty()) {
    result.SetSize(width_, height_);
    return result;
  }
  const Transparency mode = TransparencyMode();
  if (mode == Transparency::Partial) {
    result.CreateIndependent({width_, height_, 32, std::nullopt, RowOrder::BottomUp, {}});
    result.SetAlphaMode(AlphaMode::Defined);
    png::DrawPartialOnto(
        {header_.colorType, &planes_.store, planes_.alpha.get(), &palette_, &transparency_},
        result);
  } else if (header_.colorType == png::kGray && planes_.store.BitsPerPixel() == 8) {
    // Gray at 8 bits per pixel becomes gray colour pixels.
    result.CreateIndependent({width_, height_, 24, std::nullopt, RowOrder::BottomUp, {}});
    std::vector<std::uint8_t> line(4 * static_cast<std::size_t>(width_));
    for (int y = 0; y < height_; ++y) {
      ReadRowBgrx(planes_.store, y, line.data());
      std::uint8_t* out = result.MutableRow(y).data();
      for (int x = 0; x < width_; ++x) std::memcpy(out + 3 * x, line.data() + 4 * x, 3);
    }
  } else {
    result = planes_.store;  // shares the store until either side changes it
  }
  if (mode == Transparency::Key) {
    result.SetTransparent(true);
    result.SetTransparentColor(keyColor_);
  }
  return result;
}

}  // namespace tolvane
