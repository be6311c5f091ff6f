#include "convert/preview.h"

#include "support/exact.h"

namespace tolvane {

Rect PreviewFit(int width, int height, int boxWidth, int boxHeight) {
  long long drawnWidth = boxWidth;
  long long drawnHeight = boxHeight;
  if (width > 0 && height > 0) {
    const double aspect = exact::QuotientAsDouble(width, height);
    if (width > height) {
      drawnWidth = boxWidth;
      drawnHeight = exact::TruncQuotient(boxWidth, aspect);
      if (drawnHeight > boxHeight) {
        drawnHeight = boxHeight;
        drawnWidth = exact::TruncProduct(boxHeight, aspect);
      }
    } else {
      drawnHeight = boxHeight;
      drawnWidth = exact::TruncProduct(boxHeight, aspect);
      if (drawnWidth > boxWidth) {
        drawnWidth = boxWidth;
        drawnHeight = exact::TruncQuotient(boxWidth, aspect);
      }
    }
  }
  const int left = static_cast<int>((boxWidth - drawnWidth) / 2);
  const int top = static_cast<int>((boxHeight - drawnHeight) / 2);
  return Rect{left, top, left + static_cast<int>(drawnWidth), top + static_cast<int>(drawnHeight)};
}

namespace {

bool BlendsWithAlpha(const Raster& raster) {
  return raster.BitsPerPixel() == 32 &&
         (raster.Alpha() == AlphaMode::Defined || raster.Alpha() == AlphaMode::Premultiplied);
}

// The preview ignores the colour key of its copy: a raster is drawn opaque
// unless it carries alpha.
void DrawRaster(Surface& surface, const Rect& rect, const Raster& raster) {
  if (BlendsWithAlpha(raster)) {
    StretchAlphaBlend(surface, rect, raster);
  } else {
    StretchNearest(surface, rect, raster);
  }
}

struct PictureSize {
  int width = 0;
  int height = 0;
};

PictureSize SizeOf(const Picture& picture) {
  if (const auto* raster = std::get_if<Raster>(&picture))
    return {raster->Width(), raster->Height()};
  if (const auto* png = std::get_if<PngImage>(&picture)) return {png->Width(), png->Height()};
  return {};
}

}  // namespace

Surface RenderPreview(const Picture& picture, int boxWidth, int boxHeight) {
  Surface surface(boxWidth, boxHeight, kWindowBackground);
  const PictureSize size = SizeOf(picture);
  // A side of 0 leaves nothing to draw: the background shows.
  if (size.width <= 0 || size.height <= 0) return surface;
  const Rect rect = PreviewFit(size.width, size.height, boxWidth, boxHeight);
  if (const auto* raster = std::get_if<Raster>(&picture)) {
    DrawRaster(surface, rect, *raster);
  } else if (const auto* png = std::get_if<PngImage>(&picture)) {
    png->Draw(surface, rect);
  }
  return surface;
}

}  // namespace tolvane
