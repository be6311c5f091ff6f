#include "app/rules/window_layout.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace tolvane::window {

int MulDiv(int a, int b, int c) {
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t magnitude = (std::llabs(product) + std::llabs(c) / 2) / std::llabs(c);
  const bool negative = (product < 0) != (c < 0);
  return static_cast<int>(negative ? -magnitude : magnitude);
}

WindowLayout DesignLayout() {
  WindowLayout layout;
  layout.clientWidth = 253;
  layout.clientHeight = 255;
  layout.fontHeight = -11;
  layout.nameField = {2, 4, 247, 21};
  layout.preview = {2, 28, 249, 147};
  layout.log = {2, 178, 249, 75};
  return layout;
}

Bounds ScaleBounds(const Bounds& bounds, int newDpi, int oldDpi) {
  Bounds scaled;
  scaled.left = MulDiv(bounds.left, newDpi, oldDpi);
  scaled.top = MulDiv(bounds.top, newDpi, oldDpi);
  scaled.width = MulDiv(bounds.left + bounds.width, newDpi, oldDpi) - scaled.left;
  scaled.height = MulDiv(bounds.top + bounds.height, newDpi, oldDpi) - scaled.top;
  return scaled;
}

WindowLayout ScaleLayout(const WindowLayout& layout, int newDpi, int oldDpi) {
  WindowLayout scaled;
  scaled.clientWidth = MulDiv(layout.clientWidth, newDpi, oldDpi);
  scaled.clientHeight = MulDiv(layout.clientHeight, newDpi, oldDpi);
  scaled.fontHeight = MulDiv(layout.fontHeight, newDpi, oldDpi);
  scaled.nameField = ScaleBounds(layout.nameField, newDpi, oldDpi);
  scaled.preview = ScaleBounds(layout.preview, newDpi, oldDpi);
  scaled.log = ScaleBounds(layout.log, newDpi, oldDpi);
  scaled.nameField.height = NameFieldHeight(scaled.fontHeight, newDpi);
  return scaled;
}

WindowLayout LayoutAt(int dpi) { return ScaleLayout(DesignLayout(), dpi, kDesignDpi); }

bool MonitorLayout::ScaleTo(int dpi) {
  if (dpi <= 0) return false;
  layout_ = ScaleLayout(layout_, dpi, dpi_);
  dpi_ = dpi;
  return true;
}

int NameFieldHeight(int fontHeight, int dpi) {
  const int em = std::abs(fontHeight);
  const int lineHeight = MulDiv(em, 2049, 2048) + MulDiv(em, 423, 2048);
  const int border = std::max(1, dpi / kDesignDpi);
  return lineHeight + 8 * border;
}

Point CentreInWorkArea(const Rect& workArea, int windowWidth, int windowHeight) {
  const int x = workArea.left + (workArea.Width() - windowWidth) / 2;
  const int y = workArea.top + (workArea.Height() - windowHeight) / 2;
  return {std::max(x, workArea.left), std::max(y, workArea.top)};
}

}  // namespace tolvane::window
