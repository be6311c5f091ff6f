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
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/error_reporter.h"
#include "app/window_placement.h"
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

// What the user does with the mouse, the keyboard or a pen.
bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease: return true;
    default: return false;
  }
}

}  // namespace

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

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
  releaseKeptBlocks_.setInterval(window::kKeptBlocksIdleMs);
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

void TForm102::FormCreate() {
  setAcceptDrops(true);
  // The text controls would take a file manager's drag as pasted text (it
  // offers the file as text as well). They take no drops: Qt hands a drag
  // over them to the window, and one that reaches them directly is passed
  // on to the window too.
  textControls_ = {Edit1, Memo1, Memo1->viewport()};
  for (QObject* control : textControls_) {
    static_cast<QWidget*>(control)->setAcceptDrops(false);
    control->installEventFilter(this);
  }
}

TForm102::~TForm102() {
  // The controls are destroyed after this object's other members; what they
  // send on the way must not reach its filter.
  for (QObject* control : textControls_) control->removeEventFilter(this);
  qApp->removeEventFilter(this);
}

void TForm102::HandleDropFiles(const QStringList& localFiles) {
  if (localFiles.isEmpty()) return;
  // The whole path, however long.
  drops_.Add(NativePath(localFiles.front()));
}

void TForm102::ShowFileName(const std::string& name) { Edit1->setText(FromNativePath(name)); }

void TForm102::ReportFailure(const std::exception_ptr& failure) {
  ReportFailures([&failure] { std::rethrow_exception(failure); });
}

// While a file is converted the window takes no input but drags, and shows
// the wait cursor.
void TForm102::SetConverting(bool converting) {
  if (converting) {
    releaseKeptBlocks_.stop();
    waitCursor_.emplace();
    qApp->installEventFilter(this);
  } else {
    qApp->removeEventFilter(this);
    waitCursor_.reset();
    releaseKeptBlocks_.start();
  }
}

void TForm102::ApplyDpi(int dpi) {
  if (scaled_.ScaleTo(dpi)) ApplyLayout();
}

void TForm102::ApplyLayout() {
  // The controls inherit the window's font; they are given it as well, since
  // a style sheet that touches a control may keep its first font.
  const QFont font = WindowFont(scaled_.Layout().fontHeight);
  setFont(font);
  Edit1->setFont(font);
  Memo1->setFont(font);
  setFixedSize(scaled_.Layout().clientWidth, scaled_.Layout().clientHeight);
  Edit1->setGeometry(ToQRect(scaled_.Layout().nameField));
  Image1->setGeometry(ToQRect(scaled_.Layout().preview));
  Memo1->setGeometry(ToQRect(scaled_.Layout().log));
}

void TForm102::CentreInWorkArea() {
  if (const QScreen* current = screen()) CentreWindowIn(*this, current->availableGeometry());
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
  // drag source is released first.
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

bool TForm102::eventFilter(QObject* watched, QEvent* event) {
  if (IgnoresInput(watched, *event)) return true;
  if (IsTextControl(watched) && PassDragToWindow(event)) return true;
  return QWidget::eventFilter(watched, event);
}

bool TForm102::IsTextControl(const QObject* object) const {
  return std::find(textControls_.begin(), textControls_.end(), object) != textControls_.end();
}

bool TForm102::IgnoresInput(const QObject* receiver, const QEvent& event) const {
  if (!waitCursor_ || !IsUserInput(event.type())) return false;
  if (receiver == windowHandle()) return true;
  const QWidget* widget = qobject_cast<const QWidget*>(receiver);
  return widget != nullptr && widget->window() == this;
}

// The window's drag handlers do not look at the position, so the event goes
// to them as it is.
bool TForm102::PassDragToWindow(QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter: dragEnterEvent(static_cast<QDragEnterEvent*>(event)); return true;
    case QEvent::DragMove: dragMoveEvent(static_cast<QDragMoveEvent*>(event)); return true;
    case QEvent::Drop: dropEvent(static_cast<QDropEvent*>(event)); return true;
    case QEvent::DragLeave: return true;
    default: return false;
  }
}

void TForm102::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ErrorReporter::SetMainWindow(this);
}

}  // namespace tolvane::app
