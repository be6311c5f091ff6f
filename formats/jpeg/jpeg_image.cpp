#include "formats/jpeg/jpeg_image.h"

#include <optional>
#include <utility>
#include <vector>

#include "formats/jpeg/jpeg_cmyk.h"
#include "formats/jpeg/jpeg_decompressor.h"
#include "support/error.h"
#include "support/files.h"
#include "support/messages.h"

namespace tolvane {

namespace {

bool gPaletteMode = false;

constexpr std::size_t kFileReadPiece = 1 << 20;
constexpr int kQuantizedColors = 236;

// The 6b code for a colour conversion libjpeg cannot do: files with two
// components or five to ten, which libjpeg would pass through unconverted.
constexpr int kUnsupportedConversionCode = 27;
// The 6b code for arithmetic coding, which 6b refuses when decoding starts.
constexpr int kArithmeticCodingCode = 1;

bool IsCmyk(J_COLOR_SPACE space) { return space == JCS_CMYK || space == JCS_YCCK; }

void RefuseWhatSixBCannotDecode(const jpeg_decompress_struct& info) {
  if (info.arith_code) throw Error(messages::JpegError(kArithmeticCodingCode));
  const bool convertible = info.out_color_space == JCS_GRAYSCALE ||
                           info.out_color_space == JCS_RGB || IsCmyk(info.out_color_space);
  const int components = info.num_components;
  if (!convertible || (components != 1 && components != 3 && components != 4)) {
    throw Error(messages::JpegError(kUnsupportedConversionCode));
  }
}

void SetDecodeParameters(jpeg_decompress_struct& info, bool paletteMode) {
  info.scale_num = 1;
  info.scale_denom = 1;
  info.do_block_smoothing = TRUE;
  info.dct_method = JDCT_FLOAT;
  if (info.out_color_space == JCS_GRAYSCALE || paletteMode) {
    info.quantize_colors = TRUE;
    info.desired_number_of_colors = kQuantizedColors;
  }
}

RasterFormat FormatFor(const jpeg_decompress_struct& info) {
  if (info.quantize_colors) return RasterFormat::Bits8;
  if (IsCmyk(info.out_color_space)) return RasterFormat::Bits32;
  return RasterFormat::Bits24;
}

// Whether libjpeg writes blue, green, red itself; otherwise the reader swaps
// each row. Both give the same bytes: only the order of the output differs.
bool AskForBgrOutput(jpeg_decompress_struct& info) {
#ifdef JCS_EXTENSIONS
  info.out_color_space = JCS_EXT_BGR;
  return true;
#else
  (void)info;
  return false;
#endif
}

void SwapRedAndBlue(std::uint8_t* row, int width) {
  for (int x = 0; x < width; ++x, row += 3) std::swap(row[0], row[2]);
}

std::vector<PaletteEntry> PaletteFrom(const jpeg_decompress_struct& info) {
  std::vector<PaletteEntry> palette(static_cast<std::size_t>(info.actual_number_of_colors));
  JSAMPARRAY map = info.colormap;
  for (std::size_t i = 0; i < palette.size(); ++i) {
    PaletteEntry& entry = palette[i];
    if (info.out_color_components == 1) {
      entry.red = entry.green = entry.blue = map[0][i];
    } else if (info.out_color_components == 4) {
      // The quantiser's map of a CMYK file holds inks; they become colours
      // as the pixels of such a file do.
      const CmykAsRgb rgb = ConvertCmyk(map[0][i], map[1][i], map[2][i], map[3][i]);
      entry.red = rgb.red;
      entry.green = rgb.green;
      entry.blue = rgb.blue;
    } else {
      entry.red = map[0][i];
      entry.green = map[1][i];
      entry.blue = map[2][i];
    }
  }
  return palette;
}

Raster Decode(std::span<const std::uint8_t> data, bool paletteMode, RowProgress* progress) {
  JpegDecompressor jpeg(data);
  jpeg_decompress_struct& info = jpeg.Info();
  jpeg.ReadHeader();
  RefuseWhatSixBCannotDecode(info);
  SetDecodeParameters(info, paletteMode);
  const RasterFormat format = FormatFor(info);
  const bool swapRows = format == RasterFormat::Bits24 && !AskForBgrOutput(info);

  jpeg.StartDecompress();
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  // Every row is written below, so the store needs no white fill first.
  const int bits = format == RasterFormat::Bits8 ? 8 : format == RasterFormat::Bits32 ? 32 : 24;
  Raster raster;
  if (width > 0 && height > 0) {
    try {
      raster.CreateIndependent({width, height, bits, std::nullopt, RowOrder::BottomUp,
                                info.colormap != nullptr ? PaletteFrom(info)
                                                         : std::vector<PaletteEntry>{}});
    } catch (const Error&) {
      // The store's failure reads as it does for any new bitmap.
      throw Error(std::string(messages::kSystemResourcesLow));
    }
  } else {
    raster.SetFormat(format);
    raster.SetSize(width, height);
  }
  // Never let libjpeg write past a raster row.
  const std::size_t bytesPerRow =
      static_cast<std::size_t>(info.output_components) * info.output_width;
  if (bytesPerRow > raster.RowBytes()) throw Error(messages::JpegError(kUnsupportedConversionCode));
  if (info.colormap != nullptr && raster.Empty()) raster.SetPalette(PaletteFrom(info));

  RowProgressSession session(raster.Empty() ? nullptr : progress, raster);
  while (info.output_scanline < info.output_height) {
    const int y = static_cast<int>(info.output_scanline);
    std::uint8_t* row = raster.MutableRow(y).data();
    jpeg.ReadScanline(row);
    if (format == RasterFormat::Bits32) ConvertCmykRow(row, width);
    if (swapRows) SwapRedAndBlue(row, width);
    session.RowDone(y, row);
  }
  jpeg.FinishDecompress();
  session.Finish();
  return raster;
}

}  // namespace

void SetJpegPaletteMode(bool on) { gPaletteMode = on; }
bool JpegPaletteMode() { return gPaletteMode; }

void JpegImage::LoadJpeg(const std::string& path) {
  InputFile file(path);
  data_.clear();
  data_.shrink_to_fit();
  raster_ = Raster();
  decoded_ = false;
  width_ = 0;
  height_ = 0;
  data_ = file.ReadRest(kFileReadPiece);
  if (data_.empty()) return;
  JpegDecompressor jpeg(data_);
  jpeg.ReadHeader();
  width_ = static_cast<int>(jpeg.Info().image_width);
  height_ = static_cast<int>(jpeg.Info().image_height);
}

int JpegImage::Width() const { return decoded_ ? raster_.Width() : width_; }
int JpegImage::Height() const { return decoded_ ? raster_.Height() : height_; }

void JpegImage::ToRaster(Raster& raster, RowProgress* progress) {
  if (!decoded_) {
    raster_ = Decode(data_, JpegPaletteMode(), progress);
    decoded_ = true;
  }
  raster = raster_;
}

}  // namespace tolvane
