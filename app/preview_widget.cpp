#include "app/preview_widget.h"

#include <QPainter>

namespace tolvane::app {

QImage SurfaceToImage(const Surface& surface) {
  QImage image(surface.Width(), surface.Height(), QImage::Format_RGB32);
  for (int y = 0; y < surface.Height(); ++y) {
    const std::uint8_t* in = surface.Row(y);
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < surface.Width(); ++x, in += 4) {
      out[x] = qRgb(in[2], in[1], in[0]);
    }
  }
  return image;
}

PreviewWidget::PreviewWidget(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PreviewWidget::Show(const Raster& raster) {
  picture_ = raster;
  update();
}

void PreviewWidget::Show(const PngImage& image) {
  picture_ = image;
  update();
}

void PreviewWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.drawImage(0, 0, SurfaceToImage(RenderPreview(picture_, width(), height())));
}

}  // namespace tolvane::app
