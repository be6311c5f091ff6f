#include "app/TolvaneUnit.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QScreen>
#include <QUrl>
#include <QWindow>
#include <cmath>
#include <cstdlib>

#include "app/error_reporter.h"
#include "convert/convert.h"
#include "support/messages.h"
#include "support/paths.h"

namespace tolvane::app {

namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QFont WindowFont(int fontHeight) {
  QFont font;
  // Tahoma where it is installed; otherwise the system's sans-serif, and a
  // Japanese face for the Japanese texts.
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"),
                    QStringLiteral("sans-serif"), QStringLiteral("IPAGothic"),
                    QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(std::abs(fontHeight));
  return font;
}

QRect ToQRect(const window::Bounds& bounds) {
  return QRect(bounds.left, bounds.top, bounds.width, bounds.height);
}

// The wait cursor while a conversion runs, whichever way it ends.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// Restarts a timer when the scope ends, however it ends.
class RestartOnExit {
 public:
  explicit RestartOnExit(QTimer& timer) : timer_(timer) {}
  ~RestartOnExit() { timer_.start(); }
  RestartOnExit(const RestartOnExit&) = delete;
  RestartOnExit& operator=(const RestartOnExit&) = delete;

 private:
  QTimer& timer_;
};

// How long the window waits after a conversion before it gives back the
// memory kept for the next one.
constexpr int kKeptBlocksIdleMs = 5000;

// The path as the core takes it: UTF-8 with the platform's separators on
// Windows, the file system's own bytes elsewhere.
std::string NativePath(const QString& path) {
#ifdef _WIN32
  return QDir::toNativeSeparators(path).toStdString();
#else
  return QFile::encodeName(path).toStdString();
#endif
}

QString FromNativePath(const std::string& path) {
#ifdef _WIN32
  return QString::fromStdString(path);
#else
  return QFile::decodeName(QByteArray::fromStdString(path));
#endif
}

}  // namespace

QStringList LocalFilesOf(const QMimeData& data) {
  QStringList files;
  for (const QUrl& url : data.urls()) {
    if (url.isLocalFile()) files.append(url.toLocalFile());
  }
  return files;
}

TForm102::TForm102(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form102"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowTitle(FromUtf8(messages::kWindowCaption));
  setAutoFillBackground(true);

  Memo1->setObjectName(QStringLiteral("Memo1"));
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setAlignment(Qt::AlignCenter);
  Image1->setObjectName(QStringLiteral("Image1"));
  // Tab order: the log first, then the name field.
  setTabOrder(Memo1, Edit1);
  Memo1->setFocus();

  releaseKeptBlocks_.setSingleShot(true);
  releaseKeptBlocks_.setInterval(kKeptBlocksIdleMs);
  connect(&releaseKeptBlocks_, &QTimer::timeout, this, [] { ReleaseKeptBlocks(); });

  // Qt's own high-DPI scaling is off; the window scales itself from the
  // design resolution to its screen's.
  create();
  ApplyDpi(DpiOf(screen()));
  if (QWindow* handle = windowHandle()) {
    connect(handle, &QWindow::screenChanged, this, &TForm102::FollowScreen);
    FollowScreen(handle->screen());
  }
  CentreInWorkArea();
  FormCreate();
}

void TForm102::FormCreate() { setAcceptDrops(true); }

void TForm102::HandleDropFiles(const QStringList& localFiles) {
  if (localFiles.isEmpty()) return;
  const QString& path = localFiles.front();
  // The whole path, however long.
  const std::string nativePath = NativePath(path);
  {
    const RestartOnExit idle(releaseKeptBlocks_);
    WaitCursor wait;
    ConvertImageFile(nativePath, *Memo1, *Image1);
  }
  Edit1->setText(FromNativePath(NameOf(nativePath)));
}

void TForm102::ApplyDpi(int dpi) {
  if (dpi <= 0) return;
  layout_ = window::ScaleLayout(layout_, dpi, dpi_);
  dpi_ = dpi;
  ApplyLayout();
}

void TForm102::ApplyLayout() {
  // The controls inherit the window's font; they are given it as well, since
  // a style sheet that touches a control may keep its first font.
  const QFont font = WindowFont(layout_.fontHeight);
  setFont(font);
  Edit1->setFont(font);
  Memo1->setFont(font);
  setFixedSize(layout_.clientWidth, layout_.clientHeight);
  Edit1->setGeometry(ToQRect(layout_.nameField));
  Image1->setGeometry(ToQRect(layout_.preview));
  Memo1->setGeometry(ToQRect(layout_.log));
}

void TForm102::CentreInWorkArea() {
  const QScreen* current = screen();
  if (current == nullptr) return;
  const QRect work = current->availableGeometry();
  const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
  const int outerWidth = width() + frame.left() + frame.right();
  const int outerHeight = height() + frame.top() + frame.bottom();
  const window::Point at = window::CentreInWorkArea(
      Rect{work.left(), work.top(), work.left() + work.width(), work.top() + work.height()},
      outerWidth, outerHeight);
  if (isVisible() && windowHandle()) {
    windowHandle()->setFramePosition(QPoint(at.x, at.y));
  } else {
    move(at.x, at.y);
  }
}

void TForm102::FollowScreen(QScreen* newScreen) {
  disconnect(screenDpiConnection_);
  if (newScreen == nullptr) return;
  screenDpiConnection_ = connect(newScreen, &QScreen::logicalDotsPerInchChanged, this,
                                 [this, newScreen] { ApplyDpi(DpiOf(newScreen)); });
  ApplyDpi(DpiOf(newScreen));
}

int TForm102::DpiOf(const QScreen* screen) {
  if (screen == nullptr) return window::kDesignDpi;
  const int dpi = static_cast<int>(std::lround(screen->logicalDotsPerInchY()));
  return dpi > 0 ? dpi : window::kDesignDpi;
}

void TForm102::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData() && !LocalFilesOf(*event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
  }
}

void TForm102::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData() && !LocalFilesOf(*event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
  }
}

void TForm102::dropEvent(QDropEvent* event) {
  if (event->mimeData() == nullptr) return;
  const QStringList files = LocalFilesOf(*event->mimeData());
  if (files.isEmpty()) return;
  event->acceptProposedAction();
  // Handled once the drag is over, as a posted drop message would be: the
  // drag source is released first, then the conversion runs on this thread
  // before any later event.
  QMetaObject::invokeMethod(
      this, [this, files] { ReportFailures([&] { HandleDropFiles(files); }); },
      Qt::QueuedConnection);
}

bool TForm102::event(QEvent* event) {
  // The frame's size is known only once the window manager has framed the
  // window; the first activation centres the whole window once more.
  if (event->type() == QEvent::WindowActivate && !placedWithFrame_) {
    placedWithFrame_ = true;
    if (windowHandle() && !windowHandle()->frameMargins().isNull()) CentreInWorkArea();
  }
  return QWidget::event(event);
}

void TForm102::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ErrorReporter::SetMainWindow(this);
}

}  // namespace tolvane::app
