// The window tests run against one application object on Qt's offscreen
// platform, themed as the program is.
#include <gtest/gtest.h>

#include <QByteArray>

#include "app/theme.h"
#include "app/tolvane_application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  ::testing::InitGoogleTest(&argc, argv);
  tolvane::app::TolvaneApplication application(argc, argv);
  tolvane::app::ApplyTheme(application, QStringLiteral("Windows10 Dark"));
  return RUN_ALL_TESTS();
}
