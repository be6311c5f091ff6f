// The Windows window driven from outside, as a user and the shell meet it:
// Tolvane.exe is started as a process of its own on the Wine desktop of the
// test, found by its class, looked at through the screen's pixels and its
// controls' messages, and given files as the shell drops them.
// windows.h first: the other system headers build on it.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "convert/convert.h"
#include "convert/preview.h"
#include "support/win32_text.h"
#include "tests/app_win32/window_hook.h"
#include "tests/support/test_support.h"

namespace tolvane::win32 {
namespace {

using namespace std::chrono_literals;

// Every wait is bounded; what it waited for is in the failure message.
constexpr auto kPatience = 30s;

bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
}

std::wstring W(std::string_view utf8) { return WideFromUtf8(utf8); }

// The folder of the test program, which Tolvane.exe and the helper share.
std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH * 4, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

// The text of a window of another process: the system carries the message over.
std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 10000, &copied);
  text.resize(copied);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  return name;
}

struct Bounds {
  int left, top, width, height;
  friend bool operator==(const Bounds&, const Bounds&) = default;
};

void PrintTo(const Bounds& b, std::ostream* out) {
  *out << "{" << b.left << ", " << b.top << ", " << b.width << ", " << b.height << "}";
}

// A colour as 0xRRGGBB.
using Colour = std::uint32_t;

// What the screen shows of a window's client area.
class Screenshot {
 public:
  explicit Screenshot(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    POINT origin{0, 0};
    ::ClientToScreen(window, &origin);
    width_ = client.right;
    height_ = client.bottom;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width_, height_, screen, origin.x, origin.y, SRCCOPY);
    ::GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    pixels_.assign(pixels, pixels + static_cast<std::size_t>(width_) * height_);
    ::SelectObject(memory, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
  }

  int Width() const { return width_; }
  int Height() const { return height_; }
  Colour At(int x, int y) const {
    return pixels_[static_cast<std::size_t>(y) * width_ + x] & 0xFFFFFF;
  }
  // How many pixels of a rectangle have the colour.
  int Count(const Bounds& in, Colour colour) const {
    int count = 0;
    for (int y = in.top; y < in.top + in.height; ++y) {
      for (int x = in.left; x < in.left + in.width; ++x) count += At(x, y) == colour ? 1 : 0;
    }
    return count;
  }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint32_t> pixels_;
};

constexpr Colour kBlack = 0x000000;
constexpr Colour kWhite = 0xFFFFFF;
constexpr Colour kFrame = 0x5A5A5A;

// Sets the system's dots per inch for the programs started while it lives,
// and puts the earlier value back after.
class SystemDpi {
 public:
  explicit SystemDpi(DWORD dpi) {
    ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                      KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
    DWORD size = sizeof(saved_);
    hadValue_ = ::RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(&saved_), &size) == ERROR_SUCCESS;
    Set(dpi);
  }
  ~SystemDpi() {
    if (hadValue_) {
      Set(saved_);
    } else {
      ::RegDeleteValueW(key_, L"LogPixels");
    }
    ::RegCloseKey(key_);
  }
  SystemDpi(const SystemDpi&) = delete;
  SystemDpi& operator=(const SystemDpi&) = delete;

 private:
  void Set(DWORD dpi) {
    ::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                     sizeof(dpi));
  }
  HKEY key_ = nullptr;
  DWORD saved_ = 0;
  bool hadValue_ = false;
};

// Every program of the run starts at 96 dots per inch unless a test says
// otherwise, whatever a run that ended early left behind.
class DesignDpiForTheRun : public ::testing::Environment {
 public:
  void SetUp() override { dpi_.emplace(96); }
  void TearDown() override { dpi_.reset(); }

 private:
  std::optional<SystemDpi> dpi_;
};

const auto* const kDesignDpiForTheRun = ::testing::AddGlobalTestEnvironment(new DesignDpiForTheRun);

struct FindWindowOf {
  DWORD process;
  const wchar_t* className;
  HWND found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM search) {
  auto* find = reinterpret_cast<FindWindowOf*>(search);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process == find->process && ::IsWindowVisible(window) && ClassOf(window) == find->className) {
    find->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM children) {
  reinterpret_cast<std::vector<HWND>*>(children)->push_back(window);
  return TRUE;
}

std::vector<HWND> ChildrenOf(HWND window) {
  std::vector<HWND> children;
  ::EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

// The helper hooked into the program's thread (window_hook.cpp), for what
// only the program's own process can do: a drop handle made in its memory
// as the shell makes it, WM_DPICHANGED with its rectangle, the controls' font.
class Inside {
 public:
  explicit Inside(HWND window) : window_(window) {
    module_ = ::LoadLibraryW((ProgramFolder() + L"tolvane_test_hook.dll").c_str());
    mapping_ = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                    sizeof(HookShared), kSharedName);
    if (mapping_ != nullptr) {
      shared_ = static_cast<HookShared*>(
          ::MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(HookShared)));
    }
    if (module_ == nullptr || shared_ == nullptr) return;
    // Through void*: the exported address has the hook's signature.
    const auto procedure = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void*>(::GetProcAddress(module_, "HookMessage")));
    hook_ = ::SetWindowsHookExW(WH_GETMESSAGE, procedure, module_,
                                ::GetWindowThreadProcessId(window, nullptr));
  }
  ~Inside() {
    if (hook_ != nullptr) ::UnhookWindowsHookEx(hook_);
    if (shared_ != nullptr) ::UnmapViewOfFile(shared_);
    if (mapping_ != nullptr) ::CloseHandle(mapping_);
    if (module_ != nullptr) ::FreeLibrary(module_);
  }
  Inside(const Inside&) = delete;
  Inside& operator=(const Inside&) = delete;

  bool Hooked() const { return hook_ != nullptr; }

  // Only the first of several dropped files is handled.
  bool Drop(const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const std::wstring& path : paths) list += path + L'\0';
    list += L'\0';
    if (list.size() > std::size(shared_->files)) return false;
    std::memcpy(shared_->files, list.data(), list.size() * sizeof(wchar_t));
    return Ask(HookRequest::kDrop);
  }

  bool ChangeDpi(int dpi, const RECT& suggested) {
    shared_->dpi = static_cast<std::uint32_t>(dpi);
    shared_->suggested = suggested;
    return Ask(HookRequest::kChangeDpi);
  }

  struct Font {
    int height;
    std::wstring face;
  };
  std::optional<Font> NameFieldFont() {
    if (!Ask(HookRequest::kReportFont)) return std::nullopt;
    return Font{shared_->fontHeight, shared_->fontFace};
  }

 private:
  bool Ask(HookRequest request) {
    ::InterlockedExchange(&shared_->answered, 0);
    ::PostMessageW(window_, ::RegisterWindowMessageW(kRequestName), static_cast<WPARAM>(request),
                   0);
    return WaitFor([&] { return shared_->answered == static_cast<LONG>(request); });
  }

  HWND window_;
  HMODULE module_ = nullptr;
  HANDLE mapping_ = nullptr;
  HookShared* shared_ = nullptr;
  HHOOK hook_ = nullptr;
};

// Tolvane.exe, started for one test and ended with it.
class Program {
 public:
  explicit Program(std::optional<WORD> showCommand = std::nullopt) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (showCommand) {
      startup.dwFlags = STARTF_USESHOWWINDOW;
      startup.wShowWindow = *showCommand;
    }
    std::wstring commandLine = L"\"" + ProgramFolder() + L"Tolvane.exe\"";
    started_ = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &startup, &process_) != FALSE;
    if (!started_) return;
    FindWindowOf find{process_.dwProcessId, L"TForm102"};
    WaitFor([&] {
      ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&find));
      return find.found != nullptr;
    });
    main_ = find.found;
    for (HWND child : ChildrenOf(main_)) {
      const int id = ::GetDlgCtrlID(child);
      if (ClassOf(child) == L"TolvanePreview") image1_ = child;
      if (id == 1) edit1_ = child;
      if (id == 2) memo1_ = child;
    }
  }

  ~Program() {
    if (!started_) return;
    if (main_ != nullptr) ::PostMessageW(main_, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process_.hProcess, 20000) != WAIT_OBJECT_0) {
      ::TerminateProcess(process_.hProcess, 1);
      ADD_FAILURE() << "Tolvane.exe did not end when its window was closed";
    }
    ::CloseHandle(process_.hThread);
    ::CloseHandle(process_.hProcess);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  HWND Main() const { return main_; }
  HWND Edit1() const { return edit1_; }
  HWND Image1() const { return image1_; }
  HWND Memo1() const { return memo1_; }
  DWORD Id() const { return process_.dwProcessId; }
  bool Running() const { return main_ != nullptr && edit1_ && image1_ && memo1_; }

  // In the main window's client coordinates.
  Bounds BoundsOf(HWND control) const {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
  }
  Bounds Client() const {
    RECT rect{};
    ::GetClientRect(main_, &rect);
    return {0, 0, rect.right, rect.bottom};
  }

  // The program's error box, once it is open.
  HWND WaitForErrorBox() const {
    FindWindowOf find{process_.dwProcessId, L"#32770"};
    WaitFor([&] {
      ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&find));
      return find.found != nullptr;
    });
    return find.found;
  }

  // Waits until everything sent before has been handled.
  void Settle() const {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
  }

 private:
  PROCESS_INFORMATION process_{};
  bool started_ = false;
  HWND main_ = nullptr;
  HWND edit1_ = nullptr;
  HWND image1_ = nullptr;
  HWND memo1_ = nullptr;
};

std::wstring InstructionText() {
  return W(
      "PNG, JPG,TIF, BMP ファイルをドラッグ＆ドロップ\r\n"
      "サイズが 2048 を超えるときのみ 2048 以下に縮小\r\n"
      "ファイル名に \"_2048\"  を追加して、PNG, BMP に\r\n"
      "保存します\r\n");
}

// A bitmap of one colour.
std::vector<std::uint8_t> PlainBitmap(int width, int height, Colour colour) {
  const testing::Bgr pixel{static_cast<std::uint8_t>(colour & 0xFF),
                           static_cast<std::uint8_t>((colour >> 8) & 0xFF),
                           static_cast<std::uint8_t>(colour >> 16)};
  return testing::Bmp24(width, height, [pixel](int, int) { return pixel; });
}

struct LayoutCase {
  DWORD dpi;
  int fontHeight;
  Bounds client, edit1, image1, memo1;
};

// The bounds of the window's description, and scaled by MulDiv to 144 dpi.
constexpr LayoutCase kAt96{
    96, -11, {0, 0, 253, 255}, {2, 4, 247, 21}, {2, 28, 249, 147}, {2, 178, 249, 75}};
constexpr LayoutCase kAt144{
    144, -17, {0, 0, 380, 383}, {3, 6, 371, 29}, {3, 42, 374, 221}, {3, 267, 374, 113}};

void PrintTo(const LayoutCase& layout, std::ostream* out) { *out << layout.dpi << " dpi"; }

class WindowAtDpi : public ::testing::TestWithParam<LayoutCase> {};

// The client area as the screen shows it: every bound, the colours of the
// background, the fields and their frames, the texts.
TEST_P(WindowAtDpi, ShowsTheControlsAtTheirBoundsInTheDarkTheme) {
  const LayoutCase& expected = GetParam();
  const SystemDpi dpi(expected.dpi);
  const Program program;
  ASSERT_TRUE(program.Running()) << "the main window with its three controls did not appear";

  EXPECT_EQ(program.Client(), expected.client);
  EXPECT_EQ(program.BoundsOf(program.Edit1()), expected.edit1);
  EXPECT_EQ(program.BoundsOf(program.Image1()), expected.image1);
  EXPECT_EQ(program.BoundsOf(program.Memo1()), expected.memo1);

  EXPECT_EQ(TextOf(program.Main()), W("Tolvane 1.1 ('25/09/19)"));
  EXPECT_EQ(TextOf(program.Memo1()), InstructionText());
  EXPECT_EQ(TextOf(program.Edit1()), L"");
  const LONG style = ::GetWindowLongW(program.Main(), GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME),
            WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  EXPECT_NE(::GetWindowLongW(program.Main(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
  Inside inside(program.Main());
  ASSERT_TRUE(inside.Hooked());
  const auto font = inside.NameFieldFont();
  ASSERT_TRUE(font);
  EXPECT_EQ(font->face, L"Tahoma");
  EXPECT_EQ(font->height, expected.fontHeight);

  // Centred in the work area, frame included.
  RECT outer{};
  ::GetWindowRect(program.Main(), &outer);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromWindow(program.Main(), MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  EXPECT_EQ(outer.left, work.left + (work.right - work.left - (outer.right - outer.left)) / 2);
  EXPECT_EQ(outer.top, work.top + (work.bottom - work.top - (outer.bottom - outer.top)) / 2);

  program.Settle();
  const Bounds edit1 = expected.edit1;
  const Bounds memo1 = expected.memo1;
  const Bounds image1 = expected.image1;
  ASSERT_TRUE(WaitFor([&] {
    const Screenshot shot(program.Main());
    return shot.At(edit1.left, edit1.top) == kFrame && shot.At(memo1.left, memo1.top) == kFrame;
  })) << "the fields' frames were not painted";
  const Screenshot shot(program.Main());
  // The window's background around the controls, and in the empty preview.
  for (const auto& [x, y] :
       std::vector<std::pair<int, int>>{{0, 0},
                                        {1, 100},
                                        {expected.client.width - 1, expected.client.height - 1},
                                        {edit1.left + 10, edit1.top + edit1.height}}) {
    EXPECT_EQ(shot.At(x, y), kBlack) << x << ", " << y;
  }
  EXPECT_EQ(shot.Count(image1, kBlack), image1.width * image1.height);
  // Each field: a frame two pixels wide, black inside.
  for (const Bounds& field : {edit1, memo1}) {
    const int right = field.left + field.width - 1;
    const int bottom = field.top + field.height - 1;
    for (int ring = 0; ring < 2; ++ring) {
      EXPECT_EQ(shot.At(field.left + ring, field.top + 5), kFrame) << ring;
      EXPECT_EQ(shot.At(field.left + 5, field.top + ring), kFrame) << ring;
      EXPECT_EQ(shot.At(right - ring, field.top + 5), kFrame) << ring;
      EXPECT_EQ(shot.At(field.left + 5, bottom - ring), kFrame) << ring;
    }
  }
  // Inside the empty name field.
  EXPECT_EQ(shot.Count({edit1.left + 2, edit1.top + 2, edit1.width - 4, edit1.height - 4}, kBlack),
            (edit1.width - 4) * (edit1.height - 4));
  // The log's four lines in white on black.
  EXPECT_GT(shot.Count({memo1.left + 2, memo1.top + 2, memo1.width / 2, memo1.height / 2}, kWhite),
            100);
}

INSTANTIATE_TEST_SUITE_P(Monitors, WindowAtDpi, ::testing::Values(kAt96, kAt144),
                         [](const ::testing::TestParamInfo<LayoutCase>& param) {
                           return "Dpi" + std::to_string(param.param.dpi);
                         });

// A dropped file is converted: its path and size go into the log, its name
// into the name field, and the preview shows it by its fit rule.
TEST(Win32Window, ConvertsADroppedFileAndShowsIt) {
  const testing::TempDir dir;
  const std::string path = dir.File("drop.bmp");
  constexpr Colour kRed = 0xC8285A;
  testing::WriteFile(path, PlainBitmap(100, 50, kRed));
  const Program program;
  ASSERT_TRUE(program.Running());
  Inside inside(program.Main());
  ASSERT_TRUE(inside.Hooked());

  // Only the first of several dropped files is handled.
  ASSERT_TRUE(inside.Drop({W(path), W(dir.File("other.bmp"))}));
  ASSERT_TRUE(WaitFor([&] { return TextOf(program.Edit1()) == L"drop.bmp"; }))
      << "the name field did not show the dropped file's name";
  EXPECT_EQ(TextOf(program.Memo1()), W(path) + L"\r\n100 x 50\r\n");

  // 100 x 50 is drawn 249 x 124 at 0, 11 of the preview box.
  const Bounds image1 = program.BoundsOf(program.Image1());
  ASSERT_TRUE(WaitFor([&] {
    return Screenshot(program.Main()).At(image1.left, image1.top + 11) == kRed;
  })) << "the preview did not show the dropped picture";
  const Screenshot shot(program.Main());
  EXPECT_EQ(shot.Count({image1.left, image1.top + 11, 249, 124}, kRed), 249 * 124);
  EXPECT_EQ(shot.At(image1.left, image1.top + 10), kBlack);
  EXPECT_EQ(shot.At(image1.left + 248, image1.top + 135), kBlack);
}

// The preview box on the screen is, pixel for pixel, what RenderPreview
// draws of the picture the conversion shows.
TEST(Win32Window, PaintsThePreviewAsRenderPreviewDrawsIt) {
  const testing::TempDir dir;
  const std::string path = dir.File("pattern.bmp");
  testing::WriteFile(path, testing::Bmp24(30, 20, [](int x, int y) {
                       return testing::Bgr{static_cast<std::uint8_t>(8 * x),
                                           static_cast<std::uint8_t>(12 * y),
                                           static_cast<std::uint8_t>(200 - 5 * x)};
                     }));
  struct : Log {
    void Clear() override {}
    void Append(std::string_view) override {}
  } ignored;
  PictureKeeper shown;
  ConvertImageFile(path, ignored, shown);

  const Program program;
  ASSERT_TRUE(program.Running());
  Inside inside(program.Main());
  ASSERT_TRUE(inside.Hooked());
  ASSERT_TRUE(inside.Drop({W(path)}));
  ASSERT_TRUE(WaitFor([&] { return TextOf(program.Edit1()) == L"pattern.bmp"; }));

  const Bounds image1 = program.BoundsOf(program.Image1());
  const Surface expected = RenderPreview(shown.Current(), image1.width, image1.height);
  const auto mismatches = [&] {
    const Screenshot shot(program.Main());
    int count = 0;
    for (int y = 0; y < expected.Height(); ++y) {
      const std::uint8_t* row = expected.Row(y);
      for (int x = 0; x < expected.Width(); ++x) {
        const Colour colour = row[4 * x + 2] << 16 | row[4 * x + 1] << 8 | row[4 * x];
        count += shot.At(image1.left + x, image1.top + y) == colour ? 0 : 1;
      }
    }
    return count;
  };
  EXPECT_TRUE(WaitFor([&] { return mismatches() == 0; }))
      << mismatches() << " pixels of the preview differ from RenderPreview's";
}

// A file in a folder whose path is longer than MAX_PATH: the whole path
// reaches the conversion.
TEST(Win32Window, TakesTheWholePathOfADropHoweverLong) {
  const testing::TempDir dir;
  std::wstring folder = W(dir.Path().string());
  std::vector<std::wstring> folders;
  for (wchar_t letter : {L'a', L'b', L'c'}) {
    folder += L"\\" + std::wstring(100, letter);
    ASSERT_TRUE(::CreateDirectoryW(WidePath(Utf8FromWide(folder)).c_str(), nullptr));
    folders.push_back(folder);
  }
  const std::wstring path = folder + L"\\long.bmp";
  ASSERT_GT(path.size(), 300u);
  const std::vector<std::uint8_t> bitmap = PlainBitmap(4, 2, 0x336699);
  {
    HANDLE file = ::CreateFileW(WidePath(Utf8FromWide(path)).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, bitmap.data(), static_cast<DWORD>(bitmap.size()), &written, nullptr);
    ::CloseHandle(file);
    ASSERT_EQ(written, bitmap.size());
  }
  {
    const Program program;
    ASSERT_TRUE(program.Running());
    Inside inside(program.Main());
    ASSERT_TRUE(inside.Hooked());
    ASSERT_TRUE(inside.Drop({path}));
    ASSERT_TRUE(WaitFor([&] { return TextOf(program.Edit1()) == L"long.bmp"; }))
        << "the file with the long path was not converted";
    EXPECT_EQ(TextOf(program.Memo1()), path + L"\r\n4 x 2\r\n");
  }
  ::DeleteFileW(WidePath(Utf8FromWide(path)).c_str());
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    ::RemoveDirectoryW(WidePath(Utf8FromWide(*it)).c_str());
  }
}

// The focus starts in the log; Tab moves between the log and the name field;
// Enter inserts nothing into either.
TEST(Win32Window, TabsBetweenTheFieldsAndTakesNoEnter) {
  const Program program;
  ASSERT_TRUE(program.Running());
  const DWORD thread = ::GetWindowThreadProcessId(program.Main(), nullptr);
  const auto focus = [thread] {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(thread, &info);
    return info.hwndFocus;
  };
  ASSERT_TRUE(WaitFor([&] { return focus() == program.Memo1(); }))
      << "the log did not have the focus";

  for (HWND field : {program.Memo1(), program.Edit1()}) {
    const std::wstring before = TextOf(field);
    ::PostMessageW(field, WM_KEYDOWN, VK_RETURN, 1);
    ::PostMessageW(field, WM_CHAR, L'\r', 1);
    ::PostMessageW(field, WM_CHAR, L'\n', 1);
    ::PostMessageW(field, WM_KEYUP, VK_RETURN, 1);
    program.Settle();
    EXPECT_EQ(TextOf(field), before);
  }

  ::PostMessageW(program.Memo1(), WM_KEYDOWN, VK_TAB, 1);
  EXPECT_TRUE(WaitFor([&] { return focus() == program.Edit1(); })) << "Tab did not reach Edit1";
  ::PostMessageW(program.Edit1(), WM_KEYDOWN, VK_TAB, 1);
  EXPECT_TRUE(WaitFor([&] { return focus() == program.Memo1(); })) << "Tab did not reach Memo1";
}

// A failure comes up in the stop box with the program's title; the window
// takes no input meanwhile, keeps its name field, and takes the next drop
// once the box is closed.
TEST(Win32Window, ReportsAFailureInTheErrorBoxAndTakesTheNextDrop) {
  const testing::TempDir dir;
  const std::string bad = dir.File("bad.bmp");
  testing::WriteFile(bad, std::vector<std::uint8_t>(60, 0x42));
  const std::string good = dir.File("good.bmp");
  testing::WriteFile(good, PlainBitmap(16, 16, 0x00FF00));
  const std::string after = dir.File("after.bmp");
  testing::WriteFile(after, PlainBitmap(16, 16, 0x00FF00));
  const Program program;
  ASSERT_TRUE(program.Running());
  Inside inside(program.Main());
  ASSERT_TRUE(inside.Hooked());

  // A good file first, so that the name field has a name a failure must keep.
  ASSERT_TRUE(inside.Drop({W(good)}));
  ASSERT_TRUE(WaitFor([&] { return TextOf(program.Edit1()) == L"good.bmp"; }))
      << "the first drop was not handled";
  ASSERT_TRUE(inside.Drop({W(bad)}));
  const HWND box = program.WaitForErrorBox();
  ASSERT_NE(box, nullptr) << "no error box appeared";
  EXPECT_EQ(TextOf(box), L"Tolvane");
  // The main window was active: it owns the box.
  EXPECT_EQ(::GetWindow(box, GW_OWNER), program.Main());
  std::wstring text;
  int buttons = 0;
  bool icon = false;
  for (HWND child : ChildrenOf(box)) {
    const std::wstring name = ClassOf(child);
    const LONG style = ::GetWindowLongW(child, GWL_STYLE);
    if (name == L"Button") {
      ++buttons;
      EXPECT_EQ(::GetDlgCtrlID(child), IDOK);
    } else if (name == L"Static" && (style & SS_TYPEMASK) == SS_ICON) {
      icon = true;
    } else if (name == L"Static") {
      text += TextOf(child);
    }
  }
  EXPECT_EQ(text, W("ビットマップ画像が無効です."));
  EXPECT_EQ(buttons, 1);
  EXPECT_TRUE(icon);
  EXPECT_FALSE(::IsWindowEnabled(program.Main()));
  EXPECT_EQ(TextOf(program.Edit1()), L"good.bmp");
  EXPECT_EQ(TextOf(program.Memo1()), W(bad) + L"\r\n");

  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }))
      << "the error box did not close";
  ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(program.Main()) != FALSE; }))
      << "the window was not enabled again";

  ASSERT_TRUE(inside.Drop({W(after)}));
  ASSERT_TRUE(WaitFor([&] { return TextOf(program.Edit1()) == L"after.bmp"; }))
      << "the drop after the error was not handled";
  EXPECT_EQ(TextOf(program.Memo1()), W(after) + L"\r\n16 x 16\r\n");
}

// A move to a monitor of another density: the window takes the rectangle
// the system suggests and scales its controls and font from the old density
// to the new one.
TEST(Win32Window, FollowsTheMonitorsDotsPerInch) {
  const Program program;
  ASSERT_TRUE(program.Running());
  Inside inside(program.Main());
  ASSERT_TRUE(inside.Hooked());
  for (const LayoutCase& expected : {kAt144, kAt96}) {
    SCOPED_TRACE(expected.dpi);
    const RECT suggested{40, 30, 40 + 500, 30 + 450};
    ASSERT_TRUE(inside.ChangeDpi(static_cast<int>(expected.dpi), suggested));
    RECT outer{};
    ::GetWindowRect(program.Main(), &outer);
    EXPECT_TRUE(::EqualRect(&outer, &suggested));
    EXPECT_EQ(program.BoundsOf(program.Edit1()), expected.edit1);
    EXPECT_EQ(program.BoundsOf(program.Image1()), expected.image1);
    EXPECT_EQ(program.BoundsOf(program.Memo1()), expected.memo1);
    const auto font = inside.NameFieldFont();
    ASSERT_TRUE(font);
    EXPECT_EQ(font->height, expected.fontHeight);
  }
}

// A failure while another program's window is active: the box is owned by
// an invisible window of the program at the centre of the primary monitor,
// and the main window still takes no input while it is open.
TEST(Win32Window, CentresTheErrorBoxOnThePrimaryMonitorWhenTheWindowIsNotActive) {
  const testing::TempDir dir;
  const std::string bad = dir.File("bad.png");
  testing::WriteFile(bad, std::vector<std::uint8_t>(60, 0x42));
  const Program program;
  ASSERT_TRUE(program.Running());
  Inside inside(program.Main());
  ASSERT_TRUE(inside.Hooked());

  // Another program's window comes to the front.
  HWND other = ::CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 200, 100, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  ::SetForegroundWindow(other);
  ASSERT_TRUE(WaitFor([&] {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    return ::GetForegroundWindow() == other;
  })) << "the other window did not come to the front";

  ASSERT_TRUE(inside.Drop({W(bad)}));
  const HWND box = program.WaitForErrorBox();
  ASSERT_NE(box, nullptr) << "no error box appeared";
  const HWND owner = ::GetWindow(box, GW_OWNER);
  EXPECT_NE(owner, program.Main());
  ASSERT_NE(owner, nullptr);
  DWORD ownerProcess = 0;
  ::GetWindowThreadProcessId(owner, &ownerProcess);
  EXPECT_EQ(ownerProcess, program.Id());
  EXPECT_FALSE(::IsWindowVisible(owner));
  RECT ownerRect{};
  ::GetWindowRect(owner, &ownerRect);
  MONITORINFO primary{};
  primary.cbSize = sizeof(primary);
  ::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary);
  const RECT& screen = primary.rcMonitor;
  const int centreX = (screen.left + screen.right) / 2;
  const int centreY = (screen.top + screen.bottom) / 2;
  EXPECT_EQ(ownerRect.left, centreX);
  EXPECT_EQ(ownerRect.top, centreY);
  EXPECT_EQ(ownerRect.right - ownerRect.left, 0);
  EXPECT_EQ(ownerRect.bottom - ownerRect.top, 0);
  // The box itself comes up centred there (the system rounds its own way).
  RECT boxRect{};
  ::GetWindowRect(box, &boxRect);
  EXPECT_LE(std::abs((boxRect.left + boxRect.right) / 2 - centreX), 1);
  EXPECT_LE(std::abs((boxRect.top + boxRect.bottom) / 2 - centreY), 1);
  EXPECT_FALSE(::IsWindowEnabled(program.Main()));

  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(program.Main()) != FALSE; }))
      << "the window was not enabled again";
  ::DestroyWindow(other);
}

// The launcher's show command: minimised without activation and maximised
// are honoured, any other opens the window normally.
struct ShowCase {
  WORD command;
  bool iconic;
  bool zoomed;
};

class ShowCommand : public ::testing::TestWithParam<ShowCase> {};

TEST_P(ShowCommand, StartsTheWindowAsTheLauncherAsks) {
  const Program program(GetParam().command);
  ASSERT_NE(program.Main(), nullptr);
  program.Settle();
  EXPECT_TRUE(::IsWindowVisible(program.Main()));
  EXPECT_EQ(::IsIconic(program.Main()) != FALSE, GetParam().iconic);
  EXPECT_EQ(::IsZoomed(program.Main()) != FALSE, GetParam().zoomed);
  if (GetParam().command == SW_SHOWMINNOACTIVE) {
    EXPECT_NE(::GetForegroundWindow(), program.Main());
  }
}

INSTANTIATE_TEST_SUITE_P(Launch, ShowCommand,
                         ::testing::Values(ShowCase{SW_SHOWMINNOACTIVE, true, false},
                                           ShowCase{SW_SHOWMAXIMIZED, false, true},
                                           ShowCase{SW_HIDE, false, false},
                                           ShowCase{SW_SHOWMINIMIZED, false, false},
                                           ShowCase{SW_SHOWNORMAL, false, false}),
                         [](const ::testing::TestParamInfo<ShowCase>& param) {
                           return "Command" + std::to_string(param.param.command);
                         });

// How a packaged copy of the program is checked (tests/windows/zip_check.sh):
// the file that TOLVANE_DROP_FILE names, a Windows path, is dropped on the
// window, and the script compares what it writes with the Linux build's.
TEST(Win32Window, ConvertsTheFileNamedByTolvaneDropFile) {
  const char* file = std::getenv("TOLVANE_DROP_FILE");
  if (file == nullptr) GTEST_SKIP() << "TOLVANE_DROP_FILE names no file to drop";
  const std::wstring path = W(file);
  const Program program;
  ASSERT_TRUE(program.Running());
  Inside inside(program.Main());
  ASSERT_TRUE(inside.Hooked());

  ASSERT_TRUE(inside.Drop({path}));
  const std::wstring name = path.substr(path.find_last_of(L"\\:") + 1);
  ASSERT_TRUE(WaitFor([&] { return TextOf(program.Edit1()) == name; }))
      << "the drop of " << file << " was not handled";
  EXPECT_EQ(TextOf(program.Memo1()).rfind(path + L"\r\n", 0), 0u);
}

}  // namespace
}  // namespace tolvane::win32
