#include "convert/read_input.h"

#include <array>
#include <vector>

#include "formats/bmp/bmp.h"
#include "formats/jpeg/jpeg_image.h"
#include "formats/png/png_encoder.h"
#include "formats/tiff/tiff_reader.h"
#include "support/messages.h"

namespace tolvane {

namespace {

// Each reader's branch: JPEG and TIFF show the image before the size line,
// PNG and BMP after it.

InputSize ReadJpeg(const std::string& path, PngImage&, Raster& working, Log& log, Preview& preview,
                   RowProgress* progress) {
  JpegImage jpeg;  // lives for this branch only
  jpeg.LoadJpeg(path);
  const InputSize size{jpeg.Width(), jpeg.Height()};
  jpeg.ToRaster(working, progress);
  preview.Show(working);
  log.Append(messages::SizeLine(working.Width(), working.Height()));
  return size;
}

InputSize ReadTiff(const std::string& path, PngImage&, Raster& working, Log& log, Preview& preview,
                   RowProgress* progress) {
  LoadTiffFile(path, working, progress);
  preview.Show(working);
  const InputSize size{working.Width(), working.Height()};
  log.Append(messages::SizeLine(size.width, size.height));
  return size;
}

InputSize ReadPng(const std::string& path, PngImage& png, Raster& working, Log& log,
                  Preview& preview, RowProgress* progress) {
  png.LoadPng(path, progress);
  log.Append(messages::SizeLine(png.Width(), png.Height()));
  preview.Show(png);
  const InputSize size{png.Width(), png.Height()};
  png.ToRaster(working, progress);
  return size;
}

InputSize ReadBmp(const std::string& path, PngImage&, Raster& working, Log& log, Preview& preview,
                  RowProgress* progress) {
  LoadBmpFile(path, working, progress);
  log.Append(messages::SizeLine(working.Width(), working.Height()));
  preview.Show(working);
  return {working.Width(), working.Height()};
}

void WritePngOutput(const Raster& output, const PngImage& png, const std::string& path) {
  SavePngFile(output, path, static_cast<std::uint8_t>(png.InterlaceMethod()));
}

void WriteBmpOutput(const Raster& output, const PngImage&, const std::string& path) {
  SaveBmpFile(output, path);
}

constexpr std::string_view kJpegExtensions[] = {".JPG", ".JPEG"};
constexpr std::string_view kTiffExtensions[] = {".TIF", ".TIFF"};
constexpr std::string_view kPngExtensions[] = {".PNG"};
constexpr std::string_view kBmpExtensions[] = {".BMP"};

// A BMP, a PNG that is interlaced or not RGB, a grey or palette JPEG and a
// TIFF not read band by band hand over their rows once decoded, and BMP
// output is written whole: those are converted on one thread.
constexpr std::array kFormats{
    InputFormat{"jpeg", kJpegExtensions, ReadJpeg, WritePngOutput, ".png", true},
    InputFormat{"tiff", kTiffExtensions, ReadTiff, WritePngOutput, ".png", true},
    InputFormat{"png", kPngExtensions, ReadPng, WritePngOutput, ".png", true},
    InputFormat{"bmp", kBmpExtensions, ReadBmp, WriteBmpOutput, ".bmp", false},
};

}  // namespace

std::span<const InputFormat> InputFormats() { return kFormats; }

const InputFormat* InputFormatFor(std::string_view path, Separators separators) {
  const std::string extension = UpperAscii(ExtensionOf(path, separators));
  for (const InputFormat& format : kFormats) {
    for (std::string_view candidate : format.extensions) {
      if (extension == candidate) return &format;
    }
  }
  return nullptr;
}

std::string HandledExtensions() {
  std::vector<std::string> all;
  for (const InputFormat& format : kFormats) {
    for (std::string_view extension : format.extensions) all.push_back(LowerAscii(extension));
  }
  std::string list;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i > 0) list += i + 1 == all.size() ? " or " : ", ";
    list += all[i];
  }
  return list;
}

}  // namespace tolvane
