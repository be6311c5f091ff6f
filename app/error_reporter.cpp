#include "app/error_reporter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>

#include "support/report.h"

namespace tolvane::app {

namespace {

struct ReporterState {
  QString caption;
  QPointer<QWidget> mainWindow;
  ErrorBoxPresenter presenter;
};

ReporterState& State() {
  static ReporterState state;
  return state;
}

// What the platform's cancel-mode message does: no mouse grab, keyboard grab
// or popup outlives the failure.
void CancelModes() {
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  if (QWidget* grabber = QWidget::keyboardGrabber()) grabber->releaseKeyboard();
  while (QWidget* popup = QApplication::activePopupWidget()) {
    if (!popup->close()) break;
  }
}

void Present(const QString& message) {
  ReporterState& state = State();
  ErrorBox box;
  QWidget* active = QApplication::activeWindow();
  if (state.mainWindow && active == state.mainWindow) box.owner = state.mainWindow;
  box.caption = state.caption;
  box.text = message;
  if (state.presenter) {
    state.presenter(box);
  } else {
    ShowErrorBox(box);
  }
}

}  // namespace

void ShowErrorBox(const ErrorBox& box) {
  CancelModes();
  QPointer<QWidget> focus = QApplication::focusWidget();
  QMessageBox message(QMessageBox::Critical, box.caption, box.text, QMessageBox::Ok, box.owner);
  // Application-modal: every other window of the program takes no input
  // while the box is open, whichever window owns it.
  message.setWindowModality(Qt::ApplicationModal);
  if (box.owner == nullptr) {
    // Without an owner the box is centred on the primary screen, not on the
    // screen under the mouse.
    message.adjustSize();
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
      QRect frame = message.frameGeometry();
      frame.moveCenter(primary->geometry().center());
      message.move(frame.topLeft());
    }
  }
  message.exec();
  if (box.owner) box.owner->activateWindow();
  if (focus) focus->setFocus();
}

void ErrorReporter::SetCaption(const QString& caption) { State().caption = caption; }

void ErrorReporter::SetMainWindow(QWidget* window) { State().mainWindow = window; }

void ErrorReporter::SetPresenter(ErrorBoxPresenter presenter) {
  State().presenter = std::move(presenter);
}

void ErrorReporter::Report(const std::exception& failure) {
  Present(QString::fromStdString(ErrorBoxText(InnermostMessage(failure))));
}

void ErrorReporter::ReportUnknown() { Present(QString()); }

void ReportFailures(const std::function<void()>& work) {
  try {
    work();
  } catch (const std::exception& failure) {
    ErrorReporter::Report(failure);
  } catch (...) {
    ErrorReporter::ReportUnknown();
  }
}

}  // namespace tolvane::app
