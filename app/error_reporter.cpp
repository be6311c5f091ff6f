#include "app/error_reporter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include "app/window_placement.h"
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

// The box for a failure. One without an owner is centred on the primary
// screen by its whole frame: its size is final only once its text has been
// laid out for showing, and its frame is known for sure only once the window
// manager has framed it, so it is placed at both points.
class FailureBox : public QMessageBox {
 public:
  explicit FailureBox(const ErrorBox& box)
      : QMessageBox(QMessageBox::Critical, box.caption, box.text, QMessageBox::Ok, box.owner) {}

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    CentreIfUnowned();
  }

  bool event(QEvent* event) override {
    if (event->type() == QEvent::WindowActivate && !framed_) {
      framed_ = true;
      CentreIfUnowned();
    }
    return QMessageBox::event(event);
  }

 private:
  void CentreIfUnowned() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (parentWidget() == nullptr && primary != nullptr) CentreWindowIn(*this, primary->geometry());
  }

  bool framed_ = false;
};

}  // namespace

void ShowErrorBox(const ErrorBox& box) {
  CancelModes();
  QPointer<QWidget> focus = QApplication::focusWidget();
  FailureBox message(box);
  // Application-modal: every other window of the program takes no input
  // while the box is open, whichever window owns it.
  message.setWindowModality(Qt::ApplicationModal);
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
