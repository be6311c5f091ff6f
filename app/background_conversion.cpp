#include "app/background_conversion.h"

#include <utility>

namespace tolvane::app {

BackgroundConversion::BackgroundConversion(Log& log, Preview& preview)
    : conversion_(log, preview, [this](std::function<void()> work) {
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
      }) {}

}  // namespace tolvane::app
