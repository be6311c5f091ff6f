// Start-up: the application object, the theme, the main window, the loop.
#include <QByteArray>
#include <memory>
#include <optional>

#include "app/TolvaneUnit.h"
#include "app/rules/start_state.h"
#include "app/theme.h"
#include "app/tolvane_application.h"
#include "support/messages.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The show command of the launching program, where the platform has one.
std::optional<int> LaunchShowCommand() {
#ifdef _WIN32
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);
  if ((startup.dwFlags & STARTF_USESHOWWINDOW) != 0) return startup.wShowWindow;
#endif
  return std::nullopt;
}

void ShowAsLaunched(QWidget& window) {
  switch (tolvane::window::StartStateFor(LaunchShowCommand())) {
    case tolvane::window::StartState::MinimisedInactive:
      window.setAttribute(Qt::WA_ShowWithoutActivating);
      window.showMinimized();
      return;
    case tolvane::window::StartState::Maximised: window.showMaximized(); return;
    case tolvane::window::StartState::Normal: window.show(); return;
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  // The window scales itself to its monitor; Qt must not add a factor of
  // its own on top.
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");

  tolvane::app::TolvaneApplication application(argc, argv);
  tolvane::app::ApplyThemeOrReport(
      application, QString::fromUtf8(tolvane::messages::kThemeName.data(),
                                     static_cast<qsizetype>(tolvane::messages::kThemeName.size())));

  auto Form102 = std::make_unique<tolvane::app::TForm102>();
  ShowAsLaunched(*Form102);
  application.RunLoop();
  return 0;
}
