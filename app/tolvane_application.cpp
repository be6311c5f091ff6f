#include "app/tolvane_application.h"

#include <QDir>
#include <QIcon>
#include <QWidget>

#include "app/error_reporter.h"
#include "app/rules/app_title.h"
#include "app/theme.h"

namespace tolvane::app {

QString TitleOfExecutable(const QString& path) {
  const std::string native = QDir::toNativeSeparators(path).toStdString();
  const auto lower = [](std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
        .toLower()
        .toStdString();
  };
  return QString::fromStdString(window::ApplicationTitle(native, kPlatformSeparators, lower));
}

namespace {

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 256}) {
    icon.addFile(QStringLiteral(":/icons/tolvane-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace

TolvaneApplication::TolvaneApplication(int& argc, char** argv) : QApplication(argc, argv) {
  InitResources();
  title_ = TitleOfExecutable(applicationFilePath());
  setApplicationName(title_);
  setWindowIcon(ProgramIcon());
  ErrorReporter::SetCaption(title_);
}

bool TolvaneApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& failure) {
    ErrorReporter::Report(failure);
  } catch (...) {
    ErrorReporter::ReportUnknown();
  }
  return false;
}

int TolvaneApplication::RunLoop() {
  for (;;) {
    try {
      exec();
      return 0;
    } catch (const std::exception& failure) {
      ErrorReporter::Report(failure);
    } catch (...) {
      ErrorReporter::ReportUnknown();
    }
    // The loop goes on only while there is a window to serve.
    bool anyVisible = false;
    for (const QWidget* widget : topLevelWidgets()) anyVisible = anyVisible || widget->isVisible();
    if (!anyVisible) return 0;
  }
}

}  // namespace tolvane::app
