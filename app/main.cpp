// Start-up: the application object, the theme, the main window, the loop.
#include <QByteArray>
#include <memory>

#include "app/TolvaneUnit.h"
#include "app/theme.h"
#include "app/tolvane_application.h"
#include "support/messages.h"

int main(int argc, char* argv[]) {
  // The window scales itself to its monitor; Qt must not add a factor of
  // its own on top.
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");

  tolvane::app::TolvaneApplication application(argc, argv);
  tolvane::app::ApplyThemeOrReport(
      application, QString::fromUtf8(tolvane::messages::kThemeName.data(),
                                     static_cast<qsizetype>(tolvane::messages::kThemeName.size())));

  auto Form102 = std::make_unique<tolvane::app::TForm102>();
  Form102->show();
  application.RunLoop();
  return 0;
}
