#pragma once

#include "raster/surface.h"

namespace tolvane::window {

// The dots per inch the window is designed at.
inline constexpr int kDesignDpi = 96;

// a x b / c rounded to the nearest integer, halves away from zero, formed
// without overflow. c is not 0.
int MulDiv(int a, int b, int c);

// A control's place in client coordinates.
struct Bounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Bounds&, const Bounds&) = default;
};

// Every number of the main window that scales with the monitor.
struct WindowLayout {
  int clientWidth = 0;
  int clientHeight = 0;
  int fontHeight = 0;  // negative: the character height in pixels
  Bounds nameField;    // Edit1
  Bounds preview;      // Image1
  Bounds log;          // Memo1
  friend bool operator==(const WindowLayout&, const WindowLayout&) = default;
};

// The window at kDesignDpi.
WindowLayout DesignLayout();

// Edges scale separately so that controls that abut stay abutting.
Bounds ScaleBounds(const Bounds& bounds, int newDpi, int oldDpi);

// Scales every bound, the client size and the font from oldDpi to newDpi,
// then lets the name field's height follow its font.
WindowLayout ScaleLayout(const WindowLayout& layout, int newDpi, int oldDpi);

// DesignLayout scaled from kDesignDpi to dpi.
WindowLayout LayoutAt(int dpi);

// A window's layout at its monitor's dots per inch. Each change scales it
// from the old value to the new one, as the window is told of it.
class MonitorLayout {
 public:
  const WindowLayout& Layout() const { return layout_; }
  int Dpi() const { return dpi_; }
  // False, and nothing changes, for a value that is no density.
  bool ScaleTo(int dpi);

 private:
  WindowLayout layout_ = DesignLayout();
  int dpi_ = kDesignDpi;
};

// The name field is as high as its font's line plus eight border heights.
// The line height is Tahoma's (ascent 2049, descent 423 in 2048 units per em,
// each rounded), so the field's size does not depend on which fallback font
// draws the text; the border height is one pixel per whole multiple of kDesignDpi.
int NameFieldHeight(int fontHeight, int dpi);

// Where a window of the given outer size goes in a work area: centred,
// divisions truncating, but never above or left of the area.
struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};
Point CentreInWorkArea(const Rect& workArea, int windowWidth, int windowHeight);

}  // namespace tolvane::window
