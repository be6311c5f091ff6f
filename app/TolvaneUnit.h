#pragma once

#include <QLineEdit>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>
#include <exception>
#include <optional>
#include <string>

#include "app/log_widget.h"
#include "app/preview_widget.h"
#include "app/rules/drop_handling.h"
#include "app/rules/window_layout.h"
#include "support/block_cache.h"

namespace tolvane::app {

// The wait cursor while it lives.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// The main window: the name field Edit1, the preview Image1 and the log
// Memo1. It takes shell file drops and converts the first dropped file.
class TForm102 : public QWidget, private window::DropWindow {
  Q_OBJECT

  // The controls live inside the window object; Qt sees them as its children.
  LogWidget memo_{this};
  QLineEdit edit_{this};
  PreviewWidget image_{this};

 public:
  // Created hidden, scaled to its screen, registered for drops.
  explicit TForm102(QWidget* parent = nullptr);
  ~TForm102() override;

  QLineEdit* const Edit1 = &edit_;
  PreviewWidget* const Image1 = &image_;
  LogWidget* const Memo1 = &memo_;

  // The creation handler: makes the window the one target of file drops,
  // wherever on it a file is released.
  void FormCreate();

  // Converts the first of the dropped local files into the log and the
  // preview, then shows its name in Edit1; a failure is reported instead.
  // Nothing happens without a file. The conversion runs on a thread of its
  // own while the window answers the desktop but takes no input; a drop
  // handled meanwhile waits, and drops are handled one at a time in the
  // order they came.
  void HandleDropFiles(const QStringList& localFiles);
  // True while a drop is being handled or waits to be.
  bool HandlingDrops() const { return drops_.Busy(); }

  // Rescales from the current dots per inch to dpi: every bound, the client
  // size and the font.
  void ApplyDpi(int dpi);
  int Dpi() const { return scaled_.Dpi(); }
  const window::WindowLayout& Layout() const { return scaled_.Layout(); }

  // Places the window, frame included, in the middle of its screen's work
  // area.
  void CentreInWorkArea();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool PassDragToWindow(QEvent* event);
  bool IsTextControl(const QObject* object) const;
  bool IgnoresInput(const QObject* receiver, const QEvent& event) const;
  // What the window does around a conversion (window::DropWindow).
  void SetConverting(bool converting) override;
  void ShowFileName(const std::string& name) override;
  void ReportFailure(const std::exception_ptr& failure) override;
  void ApplyLayout();
  void FollowScreen(QScreen* screen);
  static int DpiOf(const QScreen* screen);

  window::MonitorLayout scaled_;
  QMetaObject::Connection screenDpiConnection_;
  bool placedWithFrame_ = false;
  // The large blocks a conversion frees serve the next drop, and are given
  // back once the window has been idle for a few seconds.
  KeepFreedBlocks keepFreedBlocks_;
  QTimer releaseKeptBlocks_;

  // The controls whose drags go to the window.
  std::array<QObject*, 3> textControls_{};
  std::optional<WaitCursor> waitCursor_;
  // Declared after the controls, so that it is gone before them; it waits
  // for a running conversion, and what that posts meanwhile goes to this
  // object, which drops it.
  window::DropHandling drops_{*this, memo_, image_, [this](std::function<void()> work) {
                                QMetaObject::invokeMethod(this, std::move(work),
                                                          Qt::QueuedConnection);
                              }};
};

// The dropped entries that are local files or folders, in the order of the
// drag source.
QStringList LocalFilesOf(const QMimeData& data);

}  // namespace tolvane::app
