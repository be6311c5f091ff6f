// The main window driven on the offscreen platform: its geometry and texts,
// drops, the error box, the focus order and the preview's pixels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/TolvaneUnit.h"
#include "app/error_reporter.h"
#include "app/theme.h"
#include "app/tolvane_application.h"
#include "formats/bmp/bmp.h"
#include "formats/png/png_encoder.h"
#include "formats/png/png_image.h"
#include "support/error.h"
#include "support/messages.h"
#include "tests/support/test_support.h"

namespace tolvane::app {
namespace {

using tolvane::testing::PutLe16;
using tolvane::testing::PutLe32;
using tolvane::testing::TempDir;

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A 24-bit bottom-up bitmap whose pixel (x, y) is (red 40 x, green 60 y, blue 90).
std::vector<std::uint8_t> Bitmap(int width, int height) {
  return testing::Bmp24(width, height, [](int x, int y) {
    return testing::Bgr{90, static_cast<std::uint8_t>(60 * y), static_cast<std::uint8_t>(40 * x)};
  });
}

std::string InstructionLines() {
  std::string text;
  for (std::string_view line : messages::kLogInstructions) {
    text += line;
    text += "\r\n";
  }
  return text;
}

// Enter, move and drop at a point of the receiver, as a drag arrives there;
// true when the drop was taken.
bool DeliverDrag(QObject* receiver, QPoint at, const QMimeData& data) {
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(receiver, &enter);
  QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(receiver, &move);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  drop.setAccepted(false);
  QCoreApplication::sendEvent(receiver, &drop);
  return drop.isAccepted();
}

// A file as file managers drag it: as a URI list and as text.
void SetFileManagerDrag(QMimeData& data, const std::string& path) {
  const QUrl url = QUrl::fromLocalFile(QString::fromStdString(path));
  data.setUrls({url});
  data.setText(url.toString() + QStringLiteral("\r\n"));
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ErrorReporter::SetPresenter([this](const ErrorBox& box) { boxes.push_back(box); });
    form = std::make_unique<TForm102>();
    ErrorReporter::SetMainWindow(form.get());
  }
  void TearDown() override {
    form.reset();
    ErrorReporter::SetPresenter({});
  }

  // A drop of these URLs, delivered as the platform delivers one, and the
  // events it posts handled; true when the window took it.
  bool Release(const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const bool taken = DeliverDrag(form.get(), QPoint(20, 100), data);
    QCoreApplication::processEvents();
    return taken;
  }
  bool Release(const std::string& path) {
    return Release({QUrl::fromLocalFile(QString::fromStdString(path))});
  }
  void Drop(const QList<QUrl>& urls) {
    Release(urls);
    WaitUntilDropsHandled();
  }
  void WaitUntilDropsHandled() {
    QCoreApplication::processEvents();  // the drop's own posted handling
    EXPECT_TRUE(QTest::qWaitFor([this] { return !form->HandlingDrops(); }, 10000));
  }
  void DropFiles(const std::vector<std::string>& paths) {
    QList<QUrl> urls;
    for (const std::string& path : paths)
      urls.append(QUrl::fromLocalFile(QString::fromStdString(path)));
    Drop(urls);
  }

  QImage Grab() const {
    return form->Image1->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }
  QImage Expected() const {
    return SurfaceToImage(
        RenderPreview(form->Image1->Current(), form->Image1->width(), form->Image1->height()));
  }

  TempDir dir;
  std::unique_ptr<TForm102> form;
  std::vector<ErrorBox> boxes;
};

TEST_F(WindowTest, OpensWithItsDesignGeometryAndTexts) {
  EXPECT_EQ(form->windowTitle(), Q(messages::kWindowCaption));
  EXPECT_EQ(form->size(), QSize(253, 255));
  EXPECT_EQ(form->minimumSize(), form->maximumSize());  // not resizable
  const Qt::WindowFlags flags = form->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form->acceptDrops());

  EXPECT_EQ(form->Edit1->geometry(), QRect(2, 4, 247, 21));
  EXPECT_EQ(form->Image1->geometry(), QRect(2, 28, 249, 147));
  EXPECT_EQ(form->Memo1->geometry(), QRect(2, 178, 249, 75));

  EXPECT_TRUE(form->Edit1->text().isEmpty());
  EXPECT_EQ(form->Edit1->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  EXPECT_EQ(form->Memo1->Text(), InstructionLines());
  EXPECT_EQ(form->Memo1->CaretPosition(), 0);
  EXPECT_EQ(form->Memo1->verticalScrollBar()->value(), 0);
  EXPECT_EQ(form->Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(form->Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(form->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_FALSE(form->Memo1->isReadOnly());
  EXPECT_FALSE(form->Edit1->isReadOnly());

  EXPECT_EQ(form->font().pixelSize(), 11);
  EXPECT_EQ(form->font().families().value(0), QStringLiteral("Tahoma"));
  EXPECT_EQ(form->Memo1->font().pixelSize(), 11);
  EXPECT_EQ(form->palette().color(QPalette::Window), QColor(Qt::black));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(form->Image1->Current()));
}

TEST_F(WindowTest, ScalesToTheMonitorAndBack) {
  form->ApplyDpi(192);
  EXPECT_EQ(form->size(), QSize(506, 510));
  EXPECT_EQ(form->Image1->geometry(), QRect(4, 56, 498, 294));
  EXPECT_EQ(form->font().pixelSize(), 22);
  EXPECT_EQ(form->Memo1->font().pixelSize(), 22);
  for (int dpi : {96, 120, 144, 192}) {
    auto fresh = std::make_unique<TForm102>();
    fresh->ApplyDpi(dpi);
    const window::WindowLayout expected = window::LayoutAt(dpi);
    EXPECT_EQ(fresh->size(), QSize(expected.clientWidth, expected.clientHeight)) << dpi;
    EXPECT_EQ(fresh->Edit1->geometry(), QRect(expected.nameField.left, expected.nameField.top,
                                              expected.nameField.width, expected.nameField.height))
        << dpi;
    EXPECT_EQ(fresh->Memo1->geometry(),
              QRect(expected.log.left, expected.log.top, expected.log.width, expected.log.height))
        << dpi;
    EXPECT_EQ(fresh->font().pixelSize(), -expected.fontHeight) << dpi;
  }
  form->ApplyDpi(96);
  EXPECT_EQ(form->size(), QSize(253, 255));
  EXPECT_EQ(form->Edit1->geometry(), QRect(2, 4, 247, 21));
}

TEST_F(WindowTest, ADroppedBitmapIsLoggedShownAndNamed) {
  const std::string path = dir.File("photo.final.bmp");
  testing::WriteFile(path, Bitmap(5, 3));
  DropFiles({path});
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(form->Memo1->Text(), path + "\r\n5 x 3\r\n");
  EXPECT_EQ(form->Memo1->CaretPosition(), static_cast<int>(form->Memo1->Text().size()));
  EXPECT_EQ(form->Edit1->text(), QStringLiteral("photo.final.bmp"));
  const Raster* shown = std::get_if<Raster>(&form->Image1->Current());
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->Width(), 5);
  EXPECT_EQ(shown->Height(), 3);
  // The widget paints exactly what RenderPreview draws.
  const QImage grabbed = Grab();
  EXPECT_EQ(grabbed, Expected());
  // 5 x 3 in the 249 x 147 box: 245 x 147 at 2, 0; the picture's colours.
  EXPECT_EQ(grabbed.pixel(0, 70), qRgb(0, 0, 0));
  EXPECT_EQ(grabbed.pixel(2, 0), qRgb(0, 0, 90));
  EXPECT_EQ(grabbed.pixel(246, 146), qRgb(160, 120, 90));
}

TEST_F(WindowTest, ADroppedPngIsShownByItsOwnDrawing) {
  const std::string bitmap = dir.File("source.bmp");
  testing::WriteFile(bitmap, Bitmap(6, 4));
  Raster raster;
  LoadBmpFile(bitmap, raster);
  const std::string path = dir.File("picture.png");
  SavePngFile(raster, path);

  DropFiles({path});
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(form->Memo1->Text(), path + "\r\n6 x 4\r\n");
  EXPECT_EQ(form->Edit1->text(), QStringLiteral("picture.png"));
  ASSERT_TRUE(std::holds_alternative<PngImage>(form->Image1->Current()));
  const QImage grabbed = Grab();
  EXPECT_EQ(grabbed, Expected());
  // 6 x 4 lands 220 x 147 at 14, 0: (124, 73) shows source pixel (3, 1).
  EXPECT_EQ(grabbed.pixel(124, 73), qRgb(120, 60, 90));
}

TEST_F(WindowTest, BeforeAnyDropThePreviewShowsTheBlackBackground) {
  const QImage grabbed = Grab();
  EXPECT_EQ(grabbed, Expected());
  EXPECT_EQ(grabbed.pixel(124, 73), qRgb(0, 0, 0));
}

// Where a drag can arrive: through the window, as the platform delivers it,
// over each control; and at each control directly.
struct DropPlace {
  const char* name;
  QObject* receiver;
  QPoint at;
};

std::vector<DropPlace> DropPlaces(TForm102& form) {
  QWindow* window = form.windowHandle();
  return {{"log, through the window", window, form.Memo1->geometry().center()},
          {"name field, through the window", window, form.Edit1->geometry().center()},
          {"preview, through the window", window, form.Image1->geometry().center()},
          {"log", form.Memo1, form.Memo1->rect().center()},
          {"log's viewport", form.Memo1->viewport(), form.Memo1->viewport()->rect().center()},
          {"name field", form.Edit1, form.Edit1->rect().center()},
          {"preview", form.Image1, form.Image1->rect().center()}};
}

TEST_F(WindowTest, AFileManagersDragConvertsWhereverItIsReleased) {
  // A name a file manager must percent-encode in its URI: a blank, "#", "%"
  // and letters beyond ASCII.
  const std::string name = "写真 #1 100%.bmp";
  const std::string path = dir.File(name);
  testing::WriteFile(path, Bitmap(5, 3));
  QMimeData data;
  SetFileManagerDrag(data, path);
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  for (const DropPlace& place : DropPlaces(*form)) {
    form->Edit1->setText(QStringLiteral("before"));
    form->Image1->Show(Raster{});
    EXPECT_TRUE(DeliverDrag(place.receiver, place.at, data)) << place.name;
    WaitUntilDropsHandled();
    EXPECT_EQ(form->Memo1->Text(), path + "\r\n5 x 3\r\n") << place.name;
    EXPECT_EQ(form->Edit1->text(), QString::fromStdString(name)) << place.name;
    const Raster* shown = std::get_if<Raster>(&form->Image1->Current());
    ASSERT_NE(shown, nullptr) << place.name;
    EXPECT_EQ(shown->Width(), 5) << place.name;
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, DraggedTextIsNeverPasted) {
  QMimeData text;
  text.setText(QStringLiteral("file:///tmp/photo.bmp"));
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  for (const DropPlace& place : DropPlaces(*form)) {
    form->Edit1->setText(QStringLiteral("before"));
    EXPECT_FALSE(DeliverDrag(place.receiver, place.at, text)) << place.name;
    QCoreApplication::processEvents();
    EXPECT_EQ(form->Memo1->Text(), InstructionLines()) << place.name;
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("before")) << place.name;
  }
}

// A named pipe in place of an input file: its conversion blocks in opening
// it until Release (or until ten seconds have passed), then reads an empty
// file.
class BlockedInput {
 public:
  explicit BlockedInput(const std::string& path) : path_(path) {
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    writer_ = std::thread([this] { OpenOnceReaderWaits(); });
  }
  ~BlockedInput() {
    Release();
    writer_.join();
  }
  BlockedInput(const BlockedInput&) = delete;
  BlockedInput& operator=(const BlockedInput&) = delete;

  void Release() { released_ = true; }

 private:
  // Opening for writing without blocking succeeds only once a reader waits.
  void OpenOnceReaderWaits() {
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
      if (released_ || std::chrono::steady_clock::now() - start > std::chrono::seconds(10)) {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
          ::close(fd);
          return;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  std::string path_;
  std::atomic<bool> released_{false};
  std::thread writer_;
};

std::string SizeOf(const Picture& picture) {
  const Raster* raster = std::get_if<Raster>(&picture);
  return raster ? std::to_string(raster->Width()) + " x " + std::to_string(raster->Height())
                : "other";
}

TEST_F(WindowTest, FilesReleasedDuringAConversionWaitAndAreHandledInTurn) {
  const std::string slow = dir.File("slow.png");
  BlockedInput input(slow);
  const std::string first = dir.File("first.bmp");
  const std::string second = dir.File("second.bmp");
  testing::WriteFile(first, Bitmap(2, 2));
  testing::WriteFile(second, Bitmap(3, 1));
  // The log and the preview as each drop's handling ends: with its box, or
  // with its name in Edit1.
  std::vector<std::string> ends;
  ErrorReporter::SetPresenter([&](const ErrorBox& box) {
    boxes.push_back(box);
    ends.push_back("box: " + form->Memo1->Text());
  });
  QObject::connect(form->Edit1, &QLineEdit::textChanged, [&](const QString& name) {
    ends.push_back(name.toStdString() + ": " + form->Memo1->Text() +
                   SizeOf(form->Image1->Current()));
  });

  EXPECT_TRUE(Release(slow));
  // The conversion has begun and waits for its input; the window answers.
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->Memo1->Text() == slow + "\r\n"; }, 5000));
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  QTest::keyClicks(form->Edit1, QStringLiteral("typed"));  // input is ignored meanwhile
  EXPECT_TRUE(ends.empty());
  EXPECT_TRUE(Release(first));
  EXPECT_TRUE(Release(second));
  EXPECT_TRUE(ends.empty());

  input.Release();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ends.size() >= 3; }, 10000));
  ASSERT_EQ(ends.size(), 3u);
  EXPECT_EQ(ends[0], "box: " + slow + "\r\n");
  EXPECT_EQ(ends[1], "first.bmp: " + first + "\r\n2 x 2\r\n2 x 2");
  EXPECT_EQ(ends[2], "second.bmp: " + second + "\r\n3 x 1\r\n3 x 1");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_FALSE(boxes[0].text.isEmpty());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  QTest::keyClicks(form->Edit1, QStringLiteral("x"));  // input is taken again
  EXPECT_EQ(form->Edit1->text(), QStringLiteral("second.bmpx"));
}

TEST_F(WindowTest, OnlyTheFirstOfSeveralDroppedFilesIsHandled) {
  const std::string first = dir.File("first.bmp");
  testing::WriteFile(first, Bitmap(2, 2));
  testing::WriteFile(dir.File("second.bmp"), Bitmap(3, 3));
  DropFiles({first, dir.File("second.bmp"), dir.File("missing.bmp")});
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(form->Memo1->Text(), first + "\r\n2 x 2\r\n");
  EXPECT_EQ(form->Edit1->text(), QStringLiteral("first.bmp"));
}

TEST_F(WindowTest, AnUnhandledExtensionOnlyNamesTheFile) {
  const std::string path = dir.File("notes.txt");
  testing::WriteFile(path, {'h', 'i'});
  DropFiles({path});
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(form->Memo1->Text(), InstructionLines());
  EXPECT_TRUE(std::holds_alternative<std::monostate>(form->Image1->Current()));
  EXPECT_EQ(form->Edit1->text(), QStringLiteral("notes.txt"));
}

TEST_F(WindowTest, ADropWithoutALocalFileDoesNothing) {
  form->Edit1->setText(QStringLiteral("before"));
  Drop({QUrl(QStringLiteral("https://example.invalid/photo.bmp"))});
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(form->Edit1->text(), QStringLiteral("before"));
  EXPECT_EQ(form->Memo1->Text(), InstructionLines());

  QMimeData remote;
  remote.setUrls({QUrl(QStringLiteral("https://example.invalid/photo.bmp"))});
  QDragEnterEvent enter(QPoint(20, 100), Qt::CopyAction, &remote, Qt::LeftButton, Qt::NoModifier);
  enter.setAccepted(false);
  QCoreApplication::sendEvent(form.get(), &enter);
  EXPECT_FALSE(enter.isAccepted());
}

TEST_F(WindowTest, AFailingFileIsReportedAndTheWindowTakesTheNextDrop) {
  form->Edit1->setText(QStringLiteral("before"));
  const std::string missing = dir.File("missing.bmp");
  DropFiles({missing});
  ASSERT_EQ(boxes.size(), 1u);
  const ErrorBox& box = boxes.front();
  EXPECT_EQ(box.caption, static_cast<TolvaneApplication*>(qApp)->Title());
  EXPECT_EQ(box.caption, QStringLiteral("window_tests"));
  // "ファイル %s は開けません。 %s " ends in a blank: no period is added.
  EXPECT_TRUE(
      box.text.startsWith(Q("ファイル ") + QString::fromStdString(missing) + Q(" は開けません。 ")))
      << box.text.toStdString();
  EXPECT_TRUE(box.text.endsWith(QLatin1Char(' ')));
  EXPECT_EQ(form->Edit1->text(), QStringLiteral("before"));
  EXPECT_EQ(form->Memo1->Text(), missing + "\r\n");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the wait cursor is gone

  const std::string good = dir.File("good.bmp");
  testing::WriteFile(good, Bitmap(1, 1));
  DropFiles({good});
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(form->Memo1->Text(), good + "\r\n1 x 1\r\n");
  EXPECT_EQ(form->Edit1->text(), QStringLiteral("good.bmp"));
}

TEST_F(WindowTest, AFolderIsHandedOnLikeAFile) {
  form->Edit1->setText(QStringLiteral("before"));
  const std::string folder = dir.File("album.bmp");
  std::filesystem::create_directory(folder);
  DropFiles({folder});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(form->Edit1->text(), QStringLiteral("before"));
  EXPECT_EQ(form->Memo1->Text(), folder + "\r\n");
}

TEST_F(WindowTest, ALongPathIsNotCut) {
  std::filesystem::path folder = dir.Path();
  for (int i = 0; i < 6; ++i) folder /= std::string(50, static_cast<char>('a' + i));
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "long.bmp").string();
  ASSERT_GT(path.size(), 300u);
  testing::WriteFile(path, Bitmap(2, 1));
  DropFiles({path});
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(form->Memo1->Text(), path + "\r\n2 x 1\r\n");
  EXPECT_EQ(form->Edit1->text(), QStringLiteral("long.bmp"));
}

TEST_F(WindowTest, TheLogAppendsAtItsEndAndNeverWraps) {
  form->Memo1->Clear();
  EXPECT_EQ(form->Memo1->Text(), "");
  const std::string longLine(400, 'x');
  for (const std::string& line :
       {std::string("one"), longLine, std::string("three"), std::string("four")}) {
    form->Memo1->Append(line);
  }
  const std::string expected = "one\r\n" + longLine + "\r\nthree\r\nfour\r\n";
  EXPECT_EQ(form->Memo1->Text(), expected);
  EXPECT_EQ(form->Memo1->CaretPosition(), static_cast<int>(expected.size()));
  EXPECT_EQ(form->Memo1->horizontalScrollBar()->value(),
            form->Memo1->horizontalScrollBar()->minimum());
  EXPECT_GT(form->Memo1->horizontalScrollBar()->maximum(), 0);  // the long line stays one line
}

TEST_F(WindowTest, TheFocusGoesToTheLogThenTabMovesToTheNameField) {
  EXPECT_EQ(form->Image1->focusPolicy(), Qt::NoFocus);
  form->show();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  EXPECT_EQ(QApplication::focusWidget(), form->Memo1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), form->Edit1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), form->Memo1);
  // Enter inserts nothing in the log.
  QTest::keyClick(form->Memo1, Qt::Key_Return);
  QTest::keyClick(form->Memo1, Qt::Key_Enter);
  EXPECT_EQ(form->Memo1->Text(), InstructionLines());
}

TEST_F(WindowTest, TheBoxIsOwnedByTheMainWindowOnlyWhileItIsActive) {
  form->show();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  ReportFailures([] { throw Error("abc"); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, form.get());
  EXPECT_EQ(boxes[0].text, QStringLiteral("abc."));

  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  ReportFailures([] { throw Error("(x)"); });
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].owner, nullptr);
  EXPECT_EQ(boxes[1].text, QStringLiteral("(x)"));
}

// An object whose event handling fails.
class FailingObject : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw Error("");
    return QObject::event(event);
  }
};

TEST_F(WindowTest, AFailureEscapingAnyEventReachesTheReporter) {
  FailingObject failing;
  QEvent event(QEvent::User);
  QCoreApplication::sendEvent(&failing, &event);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, QString());  // an empty message is shown empty
}

// The real box, with a text long enough to wrap, shown without an owner and
// closed as soon as it is up; its frame as it stood then.
QRect FrameOfUnownedBox(const QString& text) {
  QRect frame;
  QTimer::singleShot(0, [&frame] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (box == nullptr || !box->isVisible()) continue;
      if (QTest::qWaitForWindowActive(box)) frame = box->frameGeometry();
      box->done(0);
    }
  });
  ShowErrorBox(ErrorBox{nullptr, QStringLiteral("Tolvane"), text});
  return frame;
}

TEST(ErrorBox, AnUnownedBoxIsCentredOnThePrimaryScreenByItsWholeFrame) {
  const QString path = QStringLiteral("/home/someone/") + QString(40, QLatin1Char('d')) +
                       QStringLiteral("/") + QString(60, QLatin1Char('n')) + QStringLiteral(".png");
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  for (const QString& text :
       {QStringLiteral("abc."),
        Q("ファイル ") + path + Q(" は開けません。 No such file or directory ")}) {
    const QRect frame = FrameOfUnownedBox(text);
    ASSERT_FALSE(frame.isEmpty()) << text.toStdString();
    // Centred to the pixel: the halves of an odd difference truncate.
    EXPECT_EQ(frame.left() - screen.left(), (screen.width() - frame.width()) / 2)
        << text.toStdString();
    EXPECT_EQ(frame.top() - screen.top(), (screen.height() - frame.height()) / 2)
        << text.toStdString();
  }
}

TEST(Theme, AMissingThemeIsReportedBeforeTheWindow) {
  std::vector<ErrorBox> boxes;
  auto* application = static_cast<TolvaneApplication*>(qApp);
  ApplyThemeOrReport(*application, QStringLiteral("Windows10 Dark"), QStringLiteral(":/no-themes"),
                     [&](const ErrorBox& box) { boxes.push_back(box); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].caption, Q("エラー"));
  EXPECT_EQ(boxes[0].text, Q("スタイル 'Windows10 Dark' が見つかりません"));

  const std::optional<Theme> theme = FindTheme(QStringLiteral("Windows10 Dark"));
  ASSERT_TRUE(theme.has_value());
  EXPECT_EQ(theme->palette.color(QPalette::Window), QColor(Qt::black));
  EXPECT_EQ(theme->palette.color(QPalette::Base), QColor(Qt::black));
  EXPECT_EQ(theme->palette.color(QPalette::Text), QColor(Qt::white));
  EXPECT_TRUE(theme->styleSheet.contains(QStringLiteral("#5a5a5a")));
  EXPECT_FALSE(FindTheme(QStringLiteral("Windows10 Light")).has_value());
}

TEST(Title, ComesFromTheExecutableName) {
  EXPECT_EQ(TitleOfExecutable(QStringLiteral("/usr/bin/Tolvane")), QStringLiteral("Tolvane"));
  EXPECT_EQ(TitleOfExecutable(QStringLiteral("/opt/READ.ME.EXE")), QStringLiteral("Read"));
  EXPECT_EQ(TitleOfExecutable(QStringLiteral("/opt/ÉCOLE")), QStringLiteral("École"));
}

}  // namespace
}  // namespace tolvane::app
