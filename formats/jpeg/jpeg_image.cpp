#include "formats/jpeg/jpeg_image.h"

#include <optional>
#include <utility>
#include <vector>

#include "formats/jpeg/jpeg_cmyk.h"
#include "formats/jpeg/jpeg_decompressor.h"
#include "formats/jpeg/jpeg_scans.h"
#include "support/error.h"
#include "support/files.h"
#include "support/messages.h"

namespace tolvane {

namespace {

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

// The raster the decoded rows go to, sized and with the quantiser's palette.
Raster NewRaster(const jpeg_decompress_struct& info, RasterFormat format) {
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  // Every row is written, so the store needs no white fill first.
  const int bits = format == RasterFormat::Bits8 ? 8 : format == RasterFormat::Bits32 ? 32 : 24;
  Raster raster;
  if (width > 0 && height > 0) {
    // The store's failure reads as it does for any new bitmap.
    raster.CreateIndependent(
        {width, height, bits, std::nullopt, RowOrder::BottomUp,
         info.colormap != nullptr ? PaletteFrom(info) : std::vector<PaletteEntry>{}},
        StoreRefusal::SystemResourcesLow);
  } else {
    raster.SetFormat(format);
    raster.SetSize(width, height);
  }
  // Never let libjpeg write past a raster row.
  const std::size_t bytesPerRow =
      static_cast<std::size_t>(info.output_components) * info.output_width;
  if (bytesPerRow > raster.RowBytes()) throw Error(messages::JpegError(kUnsupportedConversionCode));
  if (info.colormap != nullptr && raster.Empty()) raster.SetPalette(PaletteFrom(info));
  return raster;
}

// One output pass: every row from the top, each finished in place and
// reported as soon as it is.
void ReadRows(JpegDecompressor& jpeg, Raster& raster, bool swapRows, RowProgressSession& session) {
  jpeg_decompress_struct& info = jpeg.Info();
  const int width = static_cast<int>(info.output_width);
  const bool cmyk = raster.Format() == RasterFormat::Bits32;
  while (info.output_scanline < info.output_height) {
    const int y = static_cast<int>(info.output_scanline);
    std::uint8_t* row = raster.MutableRow(y).data();
    jpeg.ReadScanline(row);
    if (cmyk) ConvertCmykRow(row, width);
    if (swapRows) SwapRedAndBlue(row, width);
    session.RowDone(y);
  }
}

// Consumes the scans before the last one. Returns the scan whose output
// pass gives the final image: the last, when the forecast holds.
int ReadUpToLastScan(JpegDecompressor& jpeg, int expectedScans) {
  jpeg_decompress_struct& info = jpeg.Info();
  while (info.input_scan_number < expectedScans) {
    if (jpeg.ConsumeInput() == JPEG_REACHED_EOI) break;
  }
  return info.input_scan_number;
}

// The output pass of a multi-scan file read in buffered-image mode. It runs
// while the last scan is read: libjpeg produces a row once that scan has
// passed it, and with all earlier scans in, the row is then what a decode
// of the whole file would give. Returns false when a scan follows after all
// (the forecast was wrong): the coefficients behind the output pass are
// gone by then, so the image must be decoded again.
bool ReadRowsDuringLastScan(JpegDecompressor& jpeg, int scan, Raster& raster, bool swapRows,
                            RowProgressSession& session) {
  jpeg_decompress_struct& info = jpeg.Info();
  jpeg.DiscardCoefficientsBehindOutput();
  jpeg.StartOutput(scan);
  ReadRows(jpeg, raster, swapRows, session);
  jpeg.FinishOutput();  // reads on to the next scan or the end of the image
  return info.input_scan_number <= info.output_scan_number;
}

// The whole file decoded into the raster in one pass after all its scans,
// as when no one waits for rows.
void ReadRowsAfterAllScans(std::span<const std::uint8_t> data, bool paletteMode, Raster& raster,
                           bool swapRows, RowProgressSession& session) {
  JpegDecompressor jpeg(data);
  jpeg_decompress_struct& info = jpeg.Info();
  jpeg.ReadHeader();
  SetDecodeParameters(info, paletteMode);
  if (!swapRows && FormatFor(info) == RasterFormat::Bits24) AskForBgrOutput(info);
  jpeg.StartDecompress();
  jpeg.DiscardCoefficientsBehindOutput();
  ReadRows(jpeg, raster, swapRows, session);
  jpeg.FinishDecompress();
}

// A colour image's rows are reported as they are decoded, so that the work
// on them runs beside the decoder. A grey or palette image's come once it is
// decoded and the file's bytes are let go (JpegImage::ToRaster): it is a
// third the size of a colour one, and its reduced image, held beside the
// file's bytes and the decoder, would raise the most memory a conversion
// takes.
bool ReportsRowsWhileDecoding(RasterFormat format) { return format != RasterFormat::Bits8; }

}  // namespace

Raster DecodeJpeg(std::span<const std::uint8_t> data, bool paletteMode, RowProgress* progress,
                  std::optional<int> scanForecast) {
  std::optional<JpegDecompressor> decompressor(std::in_place, data);
  JpegDecompressor& jpeg = *decompressor;
  jpeg_decompress_struct& info = jpeg.Info();
  jpeg.ReadHeader();
  RefuseWhatSixBCannotDecode(info);
  SetDecodeParameters(info, paletteMode);
  const RasterFormat format = FormatFor(info);
  if (!ReportsRowsWhileDecoding(format)) progress = nullptr;
  const bool swapRows = format == RasterFormat::Bits24 && !AskForBgrOutput(info);
  // A multi-scan file gives no row before its last scan. When someone waits
  // for rows, it is read in buffered-image mode so that the rows come while
  // that scan is read instead of after the whole file.
  const bool duringLastScan = progress != nullptr && jpeg.HasMultipleScans();
  info.buffered_image = duringLastScan ? TRUE : FALSE;

  jpeg.StartDecompress();
  // Only a file read that way needs its scans counted.
  const int outputScan =
      duringLastScan ? ReadUpToLastScan(jpeg, scanForecast ? *scanForecast : CountJpegScans(data))
                     : 0;
  Raster raster = NewRaster(info, format);
  RowProgressSession session(raster.Empty() ? nullptr : progress, raster);
  if (!duringLastScan) {
    // Read whole before the first row comes, the coefficients are done with
    // as the rows go out.
    jpeg.DiscardCoefficientsBehindOutput();
    ReadRows(jpeg, raster, swapRows, session);
    jpeg.FinishDecompress();
  } else if (ReadRowsDuringLastScan(jpeg, outputScan, raster, swapRows, session)) {
    jpeg.FinishDecompress();
  } else {
    // The rows reported too early are withdrawn, and the file is decoded
    // again from the start, the first decompressor gone first.
    session.Abandon();
    decompressor.reset();
    session.Restart();
    ReadRowsAfterAllScans(data, paletteMode, raster, swapRows, session);
  }
  session.Finish();
  return raster;
}

void JpegImage::LoadJpeg(const std::string& path) {
  InputFile file(path);
  LoadJpeg(file);
}

void JpegImage::LoadJpeg(ByteSource& source) {
  data_ = ByteBlock();
  raster_ = Raster();
  decoded_ = false;
  width_ = 0;
  height_ = 0;
  data_ = source.ReadRest(kFileReadPiece);
  if (data_.empty()) return;
  JpegDecompressor jpeg(data_);
  jpeg.ReadHeader();
  width_ = static_cast<int>(jpeg.Info().image_width);
  height_ = static_cast<int>(jpeg.Info().image_height);
}

int JpegImage::Width() const { return decoded_ ? raster_.Width() : width_; }
int JpegImage::Height() const { return decoded_ ? raster_.Height() : height_; }

void JpegImage::ToRaster(Raster& raster, RowProgress* progress) {
  if (decoded_) {
    raster = raster_;
    return;
  }
  raster_ = DecodeJpeg(data_, paletteMode_, progress);
  decoded_ = true;
  data_ = ByteBlock();  // nothing reads the file's bytes again
  raster = raster_;
  if (!ReportsRowsWhileDecoding(raster.Format())) HandOverAllRows(progress, raster);
}

}  // namespace tolvane
