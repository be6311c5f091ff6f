#pragma once

#include <QRect>
#include <QWidget>

namespace tolvane::app {

// Puts a top-level window, frame included, in the middle of an area of the
// desktop, never above or left of it. Until the window manager has framed
// the window its frame is taken to be that of another framed window of the
// program; callers place it once more when it is first activated.
void CentreWindowIn(QWidget& window, const QRect& area);

}  // namespace tolvane::app
