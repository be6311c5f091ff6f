#pragma once

#include <QApplication>
#include <QString>

namespace tolvane::app {

// The application object: derives the application title from the
// executable's name and hands every failure that escapes the handling of an
// event to the reporter, after which the loop goes on.
class TolvaneApplication : public QApplication {
  Q_OBJECT

 public:
  TolvaneApplication(int& argc, char** argv);

  const QString& Title() const { return title_; }

  bool notify(QObject* receiver, QEvent* event) override;

  // Runs the loop until the last window closes; a failure that escapes the
  // loop itself is reported and the loop entered again.
  int RunLoop();

 private:
  QString title_;
};

// The application title of an executable path, lower-casing with Qt.
QString TitleOfExecutable(const QString& path);

}  // namespace tolvane::app
