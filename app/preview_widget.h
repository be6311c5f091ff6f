#pragma once

#include <QImage>
#include <QWidget>

#include "convert/preview.h"

namespace tolvane::app {

// The surface as an opaque Qt image of the same pixels.
QImage SurfaceToImage(const Surface& surface);

// Image1: holds at most one picture and paints it with RenderPreview at
// every paint; no scaled copy is kept.
class PreviewWidget : public QWidget, public Preview {
  Q_OBJECT

 public:
  explicit PreviewWidget(QWidget* parent = nullptr);

  void Show(const Raster& raster) override;
  void Show(const PngImage& image) override;
  const Picture& Current() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Picture picture_;
};

}  // namespace tolvane::app
