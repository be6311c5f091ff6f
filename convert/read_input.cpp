#include "convert/read_input.h"

#include "formats/bmp/bmp.h"
#include "formats/jpeg/jpeg_image.h"
#include "formats/tiff/tiff_reader.h"
#include "support/messages.h"

namespace tolvane {

namespace {

InputSize ReadJpeg(const std::string& path, Raster& working, Log& log, Preview& preview,
                   RowProgress* progress) {
  JpegImage jpeg;  // lives for this branch only
  jpeg.LoadJpeg(path);
  const InputSize size{jpeg.Width(), jpeg.Height()};
  jpeg.ToRaster(working, progress);
  preview.Show(working);
  log.Append(messages::SizeLine(working.Width(), working.Height()));
  return size;
}

InputSize ReadTiff(const std::string& path, Raster& working, Log& log, Preview& preview,
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
  png.ToRaster(working);
  return size;
}

InputSize ReadBmp(const std::string& path, Raster& working, Log& log, Preview& preview) {
  LoadBmpFile(path, working);
  log.Append(messages::SizeLine(working.Width(), working.Height()));
  preview.Show(working);
  return {working.Width(), working.Height()};
}

}  // namespace

std::optional<InputKind> InputKindFor(std::string_view path, Separators separators) {
  const std::string extension = UpperAscii(ExtensionOf(path, separators));
  if (extension == ".JPG" || extension == ".JPEG") return InputKind::Jpeg;
  if (extension == ".TIF" || extension == ".TIFF") return InputKind::Tiff;
  if (extension == ".PNG") return InputKind::Png;
  if (extension == ".BMP") return InputKind::Bmp;
  return std::nullopt;
}

InputSize ReadWorkingRaster(InputKind kind, const std::string& path, PngImage& png,
                            Raster& working, Log& log, Preview& preview,
                            RowProgress* progress) {
  switch (kind) {
    case InputKind::Jpeg:
      return ReadJpeg(path, working, log, preview, progress);
    case InputKind::Tiff:
      return ReadTiff(path, working, log, preview, progress);
    case InputKind::Png:
      return ReadPng(path, png, working, log, preview, progress);
    case InputKind::Bmp:
      return ReadBmp(path, working, log, preview);
  }
  return {};
}

}  // namespace tolvane
