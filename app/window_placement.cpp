#include "app/window_placement.h"

#include <QApplication>
#include <QWindow>

#include "app/rules/window_layout.h"

namespace tolvane::app {

namespace {

QMargins OwnFrameMargins(const QWidget& window) {
  const QWindow* handle = window.windowHandle();
  return handle != nullptr ? handle->frameMargins() : QMargins();
}

// The window manager draws the same frame around the program's windows.
QMargins FrameMarginsOf(const QWidget& window) {
  const QMargins own = OwnFrameMargins(window);
  if (!own.isNull()) return own;
  for (const QWidget* other : QApplication::topLevelWidgets()) {
    if (other == &window || !other->isVisible()) continue;
    const QMargins margins = OwnFrameMargins(*other);
    if (!margins.isNull()) return margins;
  }
  return {};
}

}  // namespace

void CentreWindowIn(QWidget& window, const QRect& area) {
  const QMargins frame = FrameMarginsOf(window);
  const window::Point at = window::CentreInWorkArea(
      Rect{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()},
      window.width() + frame.left() + frame.right(),
      window.height() + frame.top() + frame.bottom());
  // Placed by its client area: window managers honour that position as it
  // is, where some misplace a frame position given for a mapped window.
  if (QWindow* handle = window.windowHandle()) {
    handle->setPosition(at.x + frame.left(), at.y + frame.top());
  } else {
    window.move(at.x, at.y);
  }
}

}  // namespace tolvane::app
