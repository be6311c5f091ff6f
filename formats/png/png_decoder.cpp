#include "formats/png/png_decoder.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "formats/png/png_inflate.h"
#include "formats/png/png_unfilter.h"
#include "raster/packed_index.h"
#include "support/error.h"
#include "support/memory_budget.h"
#include "support/messages.h"

namespace tolvane::png {

AlphaPlane::AlphaPlane(std::uint32_t width, std::uint32_t height) : width_(width) {
  // Refused before anything is reserved, like the colour store beside it.
  const std::uint64_t total64 = std::uint64_t{width} * height;
  if (!FitsMemoryBudget(total64) || total64 > std::numeric_limits<std::size_t>::max()) {
    throw Error(std::string(messages::kOutOfMemory));
  }
  try {
    bytes_ = ByteBlock::Zeroed(static_cast<std::size_t>(total64));
  } catch (const std::bad_alloc&) {
    throw Error(std::string(messages::kOutOfMemory));
  }
}

int StoreBitsFor(std::uint8_t colorType, std::uint8_t bitDepth) {
  switch (colorType) {
    case kGray:
    case kPalette:
      switch (bitDepth) {
        case 1: return 1;
        case 2:
        case 4: return 4;
        case 8:
        case 16: return 8;
        default: return 0;
      }
    case kRgb:
    case kRgbAlpha: return bitDepth == 8 || bitDepth == 16 ? 24 : 0;
    case kGrayAlpha: return bitDepth == 8 || bitDepth == 16 ? 8 : 0;
    default: return 0;
  }
}

unsigned GrayRampStep(std::uint8_t bitDepth) { return bitDepth == 2 ? 5 : 1; }

DecodedPlanes CreatePlanes(const PngHeader& header) {
  DecodedPlanes planes;
  const int bits = StoreBitsFor(header.colorType, header.bitDepth);
  if (bits == 0 || header.width == 0 || header.height == 0) return planes;
  StoreLayout layout;
  layout.width = static_cast<int>(header.width);
  layout.height = static_cast<int>(header.height);
  layout.bitsPerPixel = bits;
  planes.store.CreateIndependent(layout);
  if (header.colorType == kGrayAlpha || header.colorType == kRgbAlpha) {
    planes.alpha = std::make_shared<AlphaPlane>(header.width, header.height);
  }
  return planes;
}

namespace {

// zlib's inflate over the IDAT pieces, handing out exactly the bytes asked for.
class Inflater {
 public:
  explicit Inflater(IdatSource& source) : source_(source) {}

  // Fills out with count bytes; false when the file ended first.
  bool Fill(std::uint8_t* out, std::size_t count) {
    z_stream& stream = inflate_.Get();
    stream.next_out = out;
    stream.avail_out = static_cast<uInt>(count);
    while (stream.avail_out > 0) {
      // A stream that has ended cannot give the rows still missing.
      if (streamEnded_) FailInflate(Z_STREAM_END);
      if (stream.avail_in == 0) {
        const auto piece = source_.Fetch();
        if (piece.empty()) return false;
        stream.next_in = const_cast<Bytef*>(piece.data());
        stream.avail_in = static_cast<uInt>(piece.size());
      }
      streamEnded_ = inflate_.Step();
    }
    return true;
  }

 private:
  IdatSource& source_;
  InflateStream inflate_;
  bool streamEnded_ = false;
};

unsigned SampleAt(const std::uint8_t* raw, std::uint32_t x, int depth) {
  switch (depth) {
    case 1: return (raw[x >> 3] >> (7 - (x & 7))) & 0x01u;
    case 2: return (raw[x >> 2] >> (6 - 2 * (x & 3))) & 0x03u;
    case 4: return (raw[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0Fu;
    case 8: return raw[x];
    default: return raw[2 * static_cast<std::size_t>(x)];  // 16: the high byte
  }
}

// Puts unfiltered scan lines into the planes by the sample table.
class RowStorer {
 public:
  RowStorer(const PngHeader& header, const ByteTable& gamma, DecodedPlanes& planes)
      : header_(header),
        gamma_(gamma),
        planes_(planes),
        storeBits_(StoreBitsFor(header.colorType, header.bitDepth)),
        gammaIsIdentity_(gamma == IdentityTable()) {}

  // 8-bit RGB without gamma, a whole row at a time (not interlaced, or
  // Adam7's last pass): the store's rows are the unfiltered lines themselves,
  // in blue-green-red order, so a line is unfiltered straight into the store
  // with the line above read back from it. No copy, no second pass.
  bool UnfiltersIntoStore(std::uint32_t step) const {
    return header_.colorType == kRgb && header_.bitDepth == 8 && gammaIsIdentity_ && step == 1;
  }

  // The line of image row y, with prev the unfiltered line above it (in the
  // store, or zeros for a pass's first line). Returns the row it wrote.
  const std::uint8_t* UnfilterIntoStore(std::uint8_t type, const std::uint8_t* raw,
                                        std::uint32_t count, std::uint32_t y,
                                        const std::uint8_t* prev, SimdLevel simd) {
    std::uint8_t* out = planes_.store.MutableRow(static_cast<int>(y)).data();
    UnfilterRgbToBgr(type, raw, prev, out, count, simd);
    return out;
  }

  // count pixels of image row y, at columns x0, x0 + step, ...
  void Store(const std::uint8_t* raw, std::uint32_t count, std::uint32_t y, std::uint32_t x0,
             std::uint32_t step) {
    std::uint8_t* out = planes_.store.MutableRow(static_cast<int>(y)).data();
    std::uint8_t* alpha = planes_.alpha ? planes_.alpha->Row(y) : nullptr;
    const bool wide = header_.bitDepth == 16;
    switch (header_.colorType) {
      case kGray:
      case kPalette: StoreIndices(raw, count, out, x0, step); break;
      case kRgb:
      case kRgbAlpha:
        gammaIsIdentity_ ? StoreColours<false>(raw, count, out, alpha, x0, step)
                         : StoreColours<true>(raw, count, out, alpha, x0, step);
        break;
      case kGrayAlpha: {
        const std::size_t sampleBytes = wide ? 2 : 1;
        for (std::uint32_t x = 0; x < count; ++x) {
          const std::uint8_t* p = raw + 2 * sampleBytes * x;
          const std::size_t c = x0 + static_cast<std::size_t>(x) * step;
          out[c] = p[0];
          alpha[c] = p[sampleBytes];
        }
        break;
      }
      default: break;
    }
  }

 private:
  void StoreIndices(const std::uint8_t* raw, std::uint32_t count, std::uint8_t* out,
                    std::uint32_t x0, std::uint32_t step) const {
    const int depth = header_.bitDepth;
    if (x0 == 0 && step == 1 && depth == storeBits_) {
      std::memcpy(out, raw, (static_cast<std::size_t>(count) * depth + 7) / 8);
      return;
    }
    const unsigned scale = header_.colorType == kGray ? GrayRampStep(header_.bitDepth) : 1;
    for (std::uint32_t x = 0; x < count; ++x) {
      SetPackedIndex(out, x0 + x * step, storeBits_, scale * SampleAt(raw, x, depth));
    }
  }

  // Blue, green, red (the high bytes of 16-bit samples), through the gamma
  // table unless it is the identity.
  template <bool kGamma>
  void StoreColours(const std::uint8_t* raw, std::uint32_t count, std::uint8_t* out,
                    std::uint8_t* alpha, std::uint32_t x0, std::uint32_t step) const {
    const bool wide = header_.bitDepth == 16;
    if (header_.colorType == kRgb) {
      wide ? StoreColours<2, false, kGamma>(raw, count, out, nullptr, x0, step)
           : StoreColours<1, false, kGamma>(raw, count, out, nullptr, x0, step);
    } else {
      wide ? StoreColours<2, true, kGamma>(raw, count, out, alpha, x0, step)
           : StoreColours<1, true, kGamma>(raw, count, out, alpha, x0, step);
    }
  }

  template <int kSampleBytes, bool kAlpha, bool kGamma>
  void StoreColours(const std::uint8_t* raw, std::uint32_t count, std::uint8_t* out,
                    std::uint8_t* alpha, std::uint32_t x0, std::uint32_t step) const {
    constexpr std::size_t kPixelBytes = (kAlpha ? 4 : 3) * kSampleBytes;
    const std::uint8_t* g = gamma_.data();
    for (std::uint32_t x = 0; x < count; ++x) {
      const std::uint8_t* p = raw + kPixelBytes * x;
      const std::size_t c = x0 + static_cast<std::size_t>(x) * step;
      std::uint8_t* px = out + 3 * c;
      px[0] = kGamma ? g[p[2 * kSampleBytes]] : p[2 * kSampleBytes];
      px[1] = kGamma ? g[p[kSampleBytes]] : p[kSampleBytes];
      px[2] = kGamma ? g[p[0]] : p[0];
      if constexpr (kAlpha) alpha[c] = p[3 * kSampleBytes];
    }
  }

  const PngHeader& header_;
  const ByteTable& gamma_;
  DecodedPlanes& planes_;
  int storeBits_;
  bool gammaIsIdentity_;
};

// Scan lines are inflated several at a time, up to this many bytes: zlib
// copies all that one call gives out into its 32 KiB window, which for a
// call of one 15 KiB line is the whole line again.
constexpr std::size_t kInflateBlockBytes = 128 * 1024;

// Decodes every pass; false when the file ended before the last row.
bool DecodePasses(const PngHeader& header, Inflater& inflater, RowStorer& storer,
                  RowProgressSession* rows) {
  const int channels = ChannelsOf(header.colorType);
  const std::uint64_t bitsPerPixel = static_cast<std::uint64_t>(header.bitDepth) * channels;
  const std::size_t filterBpp = header.colorType == kPalette || header.bitDepth < 8
                                    ? 1
                                    : static_cast<std::size_t>(bitsPerPixel / 8);
  const std::size_t widest = static_cast<std::size_t>((header.width * bitsPerPixel + 7) / 8);
  const std::uint64_t allLines = std::uint64_t{widest + 1} * header.height;
  const auto blockBytes =
      static_cast<std::size_t>(std::min<std::uint64_t>(allLines, kInflateBlockBytes));
  std::vector<std::uint8_t> block(std::max(widest + 1, blockBytes));
  // Zeros above a pass's first line; the last line of the block before.
  std::vector<std::uint8_t> previous(widest);
  const SimdLevel simd = BestSimdLevel();

  const std::span<const Adam7Pass> passes = header.interlace == 1
                                                ? std::span<const Adam7Pass>(kAdam7)
                                                : std::span<const Adam7Pass>(&kWholeImage, 1);
  for (const Adam7Pass& pass : passes) {
    const std::uint32_t passWidth = PassExtent(header.width, pass.startColumn, pass.columnStep);
    const std::uint32_t passHeight = PassExtent(header.height, pass.startRow, pass.rowStep);
    if (passWidth == 0 || passHeight == 0) continue;
    const std::size_t rowBytes = static_cast<std::size_t>((passWidth * bitsPerPixel + 7) / 8);
    const std::size_t lineBytes = rowBytes + 1;  // with the filter-type byte
    const std::size_t linesPerBlock = block.size() / lineBytes;
    std::memset(previous.data(), 0, rowBytes);
    const auto x0 = static_cast<std::uint32_t>(pass.startColumn);
    const auto step = static_cast<std::uint32_t>(pass.columnStep);
    const auto rowStep = static_cast<std::uint32_t>(pass.rowStep);
    // Then previous stays zeros: after the first line, the line above is the
    // store's row.
    const bool intoStore = storer.UnfiltersIntoStore(step);
    const std::uint8_t* above = previous.data();
    for (std::uint32_t first = 0; first < passHeight;) {
      const std::size_t lines = std::min<std::size_t>(linesPerBlock, passHeight - first);
      if (!inflater.Fill(block.data(), lines * lineBytes)) return false;
      for (std::size_t i = 0; i < lines; ++i, ++first) {
        std::uint8_t* line = block.data() + i * lineBytes;
        const std::uint32_t y = pass.startRow + first * rowStep;
        if (intoStore) {
          above = storer.UnfilterIntoStore(line[0], line + 1, passWidth, y, above, simd);
        } else {
          Unfilter(line[0], line + 1, above, rowBytes, filterBpp, simd);
          storer.Store(line + 1, passWidth, y, x0, step);
          above = line + 1;
        }
        if (rows != nullptr && header.interlace == 0) rows->RowDone(static_cast<int>(y));
      }
      if (!intoStore) {  // the next Fill overwrites the block
        std::memcpy(previous.data(), above, rowBytes);
        above = previous.data();
      }
    }
  }
  return true;
}

}  // namespace

void DecodeImageData(const PngHeader& header, IdatSource& source, const ByteTable& gamma,
                     DecodedPlanes& planes, RowProgressSession* rows) {
  if (StoreBitsFor(header.colorType, header.bitDepth) == 0 || planes.store.Empty()) {
    throw Error(std::string(messages::kPngInvalidBitDepth));
  }
  bool complete = false;
  {
    Inflater inflater(source);
    RowStorer storer(header, gamma, planes);
    complete = DecodePasses(header, inflater, storer, rows);
  }
  source.Finish();
  if (!complete) throw Error(std::string(messages::kPngCrcError));
}

}  // namespace tolvane::png
