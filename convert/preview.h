#pragma once

#include <variant>

#include "convert/seams.h"
#include "formats/png/png_image.h"
#include "raster/raster.h"
#include "raster/surface.h"

namespace tolvane {

// What the preview holds: nothing, a raster, or a decoded PNG that draws
// itself with its transparency.
using Picture = std::variant<std::monostate, Raster, PngImage>;

// The window background the preview box is drawn on.
inline constexpr SurfacePixel kWindowBackground{0, 0, 0, 0};

// Where a picture of width x height lands in a box of boxWidth x boxHeight:
// scaled to touch two opposite sides, aspect kept, centred. Without a
// picture (or with a side of 0) the whole box.
Rect PreviewFit(int width, int height, int boxWidth, int boxHeight);

// The preview box as the window paints it: the background, and the picture
// drawn into its fitted rectangle. A Raster is drawn opaque by nearest pixel,
// except a 32-bit one with alpha, which is blended over the background.
Surface RenderPreview(const Picture& picture, int boxWidth, int boxHeight);

// A Preview that keeps the last picture it was handed, as the window does.
class PictureKeeper : public Preview {
 public:
  void Show(const Raster& raster) override { picture_ = raster; }
  void Show(const PngImage& image) override { picture_ = image; }
  const Picture& Current() const { return picture_; }

 private:
  Picture picture_;
};

}  // namespace tolvane
