#pragma once

#include <QString>
#include <QWidget>
#include <exception>
#include <functional>

namespace tolvane::app {

// One message box: owner (null: centred on the primary screen), caption and
// text. Shown with the stop icon and one OK button.
struct ErrorBox {
  QWidget* owner = nullptr;
  QString caption;
  QString text;
};

using ErrorBoxPresenter = std::function<void(const ErrorBox&)>;

// The modal box itself: ends any mouse grab or popup first, blocks every
// window of the program while it is open, and gives the focus back after.
void ShowErrorBox(const ErrorBox& box);

// The program's one reporter of failures. It shows the innermost message
// of a failure, after the period rule, captioned with the application title,
// owned by the main window when that is the active window.
class ErrorReporter {
 public:
  static void SetCaption(const QString& caption);
  static void SetMainWindow(QWidget* window);
  // The seam for tests; an empty presenter restores ShowErrorBox.
  static void SetPresenter(ErrorBoxPresenter presenter);

  static void Report(const std::exception& failure);
  // A failure that carries no message.
  static void ReportUnknown();
};

// Runs work; whatever it raises goes to the reporter and stops there.
void ReportFailures(const std::function<void()>& work);

}  // namespace tolvane::app
