// The window's numbers and texts, without a display.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/rules/app_title.h"
#include "app/rules/drop_queue.h"
#include "app/rules/log_text.h"
#include "app/rules/start_state.h"
#include "app/rules/window_layout.h"
#include "support/report.h"

namespace tolvane::window {
namespace {

TEST(MulDiv, RoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDiv(5, 1, 2), 3);
  EXPECT_EQ(MulDiv(-5, 1, 2), -3);
  EXPECT_EQ(MulDiv(-11, 120, 96), -14);  // -13.75
  EXPECT_EQ(MulDiv(7, 3, 4), 5);         // 5.25
  EXPECT_EQ(MulDiv(5, -1, 2), -3);
  EXPECT_EQ(MulDiv(2000000000, 2, 4), 1000000000);  // the product needs 64 bits
}

struct DpiCase {
  int dpi;
  WindowLayout expected;
};

class LayoutAtTest : public ::testing::TestWithParam<DpiCase> {};

TEST_P(LayoutAtTest, ScalesEveryBoundTheClientAndTheFont) {
  EXPECT_EQ(LayoutAt(GetParam().dpi), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Monitors, LayoutAtTest,
    ::testing::Values(
        DpiCase{96, {253, 255, -11, {2, 4, 247, 21}, {2, 28, 249, 147}, {2, 178, 249, 75}}},
        DpiCase{120, {316, 319, -14, {3, 5, 308, 25}, {3, 35, 311, 184}, {3, 223, 311, 93}}},
        DpiCase{144, {380, 383, -17, {3, 6, 371, 29}, {3, 42, 374, 221}, {3, 267, 374, 113}}},
        DpiCase{192, {506, 510, -22, {4, 8, 494, 43}, {4, 56, 498, 294}, {4, 356, 498, 150}}}),
    [](const ::testing::TestParamInfo<DpiCase>& param) {
      return "Dpi" + std::to_string(param.param.dpi);
    });

TEST(ScaleLayout, ControlsThatAbutStayAbutting) {
  const Bounds left{0, 0, 3, 3};
  const Bounds right{3, 0, 3, 3};
  for (int dpi : {120, 144, 168}) {
    const Bounds a = ScaleBounds(left, dpi, 96);
    const Bounds b = ScaleBounds(right, dpi, 96);
    EXPECT_EQ(a.left + a.width, b.left) << dpi;
  }
}

TEST(MonitorLayout, ScalesFromEachDensityToTheNextAndIgnoresNone) {
  MonitorLayout layout;
  EXPECT_TRUE(layout.ScaleTo(144));
  EXPECT_TRUE(layout.ScaleTo(192));
  EXPECT_EQ(layout.Layout(), ScaleLayout(LayoutAt(144), 192, 144));
  EXPECT_FALSE(layout.ScaleTo(0));
  EXPECT_EQ(layout.Dpi(), 192);
  // Each step rounds anew: back at 96 the window may be a pixel off its
  // description, as the steps it went through give it.
  EXPECT_TRUE(layout.ScaleTo(96));
  EXPECT_EQ(layout.Layout(), ScaleLayout(ScaleLayout(LayoutAt(144), 192, 144), 96, 192));
  EXPECT_EQ(layout.Layout().clientWidth, 254);
}

TEST(ScaleLayout, ScalesFromTheOldToTheNewMonitor) {
  const WindowLayout at192 = LayoutAt(192);
  EXPECT_EQ(ScaleLayout(at192, 96, 192), LayoutAt(96));
}

TEST(NameFieldHeight, FollowsTheFont) {
  EXPECT_EQ(NameFieldHeight(-11, 96), 21);
  EXPECT_EQ(NameFieldHeight(-17, 144), 21 + 8);
  EXPECT_EQ(NameFieldHeight(-22, 192), 27 + 16);
}

TEST(CentreInWorkArea, CentresTruncatingAndStaysInside) {
  EXPECT_EQ(CentreInWorkArea(Rect{0, 0, 1920, 1040}, 269, 294), (Point{825, 373}));
  // Odd differences truncate towards zero.
  EXPECT_EQ(CentreInWorkArea(Rect{100, 50, 201, 151}, 100, 100), (Point{100, 50}));
  // A window larger than the area keeps to its top-left corner.
  EXPECT_EQ(CentreInWorkArea(Rect{100, 30, 300, 230}, 400, 400), (Point{100, 30}));
  EXPECT_EQ(CentreInWorkArea(Rect{-1920, 0, 0, 1080}, 254, 280), (Point{-1087, 400}));
}

TEST(ApplicationTitle, CutsAtTheFirstDotAndLowersTheRest) {
  EXPECT_EQ(ApplicationTitle("C:\\bin\\MY.TOOL.EXE", kWindowsSeparators), "My");
  EXPECT_EQ(ApplicationTitle("C:\\bin\\READ.ME.EXE", kWindowsSeparators), "Read");
  EXPECT_EQ(ApplicationTitle("C:\\bin\\Tolvane.exe", kWindowsSeparators), "Tolvane");
  EXPECT_EQ(ApplicationTitle("/usr/bin/Tolvane", kPosixSeparators), "Tolvane");
  EXPECT_EQ(ApplicationTitle("/opt/x.y/TOLVANE", kPosixSeparators), "Tolvane");
  EXPECT_EQ(ApplicationTitle(".hidden", kPosixSeparators), "");
  // The first character stays as it is, also when it is not ASCII.
  const LowerCase upperMarker = [](std::string_view rest) {
    std::string marked(1, '<');
    marked.append(rest);
    marked.push_back('>');
    return marked;
  };
  EXPECT_EQ(ApplicationTitle("/bin/\xC3\x84XE", kPosixSeparators, upperMarker), "\xC3\x84<XE>");
}

TEST(LogText, AppendsLinesEachEndingWithCrLf) {
  LogText log("old\r\n");
  log.Clear();
  EXPECT_EQ(log.Text(), "");
  EXPECT_EQ(log.Caret(), 0u);
  for (const char* line :
       {"C:\\pics\\photo.jpg", "4000 x 3000", "> C:\\pics\\photo_2048.png", "> 2048 x 1536"}) {
    log.Append(line);
  }
  const std::string expected =
      "C:\\pics\\photo.jpg\r\n4000 x 3000\r\n> C:\\pics\\photo_2048.png\r\n> 2048 x 1536\r\n";
  EXPECT_EQ(log.Text(), expected);
  // The caret stands at the start of the empty fifth line.
  EXPECT_EQ(log.Caret(), expected.size());
}

TEST(LogText, AppendsBeforeWhatTheUserTypedIntoTheLastLine) {
  LogText log("a\r\ntyped");
  log.Append("b");
  EXPECT_EQ(log.Text(), "a\r\nb\r\ntyped");
  EXPECT_EQ(log.Caret(), 6u);
}

TEST(LogText, FindsTheLastLineInWideTextToo) {
  EXPECT_EQ(LogText::LastLineStart(std::wstring_view(L"a\r\nbc\r\n")), 7u);
  EXPECT_EQ(LogText::LastLineStart(std::wstring_view(L"typed")), 0u);
}

TEST(DropQueue, HandlesOneDropAtATimeInTheOrderTheyCame) {
  DropQueue drops;
  EXPECT_FALSE(drops.StartNext());
  drops.Add("first");
  drops.Add("second");
  EXPECT_EQ(drops.StartNext(), "first");
  // A drop that comes meanwhile waits until the first is finished.
  drops.Add("third");
  EXPECT_FALSE(drops.StartNext());
  EXPECT_TRUE(drops.Busy());
  drops.Finish();
  EXPECT_EQ(drops.StartNext(), "second");
  drops.Finish();
  EXPECT_EQ(drops.StartNext(), "third");
  drops.Finish();
  EXPECT_FALSE(drops.Busy());
  EXPECT_FALSE(drops.StartNext());
}

TEST(StartStateFor, HonoursOnlyMinimisedWithoutActivationAndMaximised) {
  EXPECT_EQ(StartStateFor(7), StartState::MinimisedInactive);
  EXPECT_EQ(StartStateFor(3), StartState::Maximised);
  for (int other : {0, 1, 2, 4, 5, 6, 8, 9, 10, 11}) {
    EXPECT_EQ(StartStateFor(other), StartState::Normal) << other;
  }
  EXPECT_EQ(StartStateFor(std::nullopt), StartState::Normal);
}

TEST(ErrorBoxText, AppendsAPeriodUnlessTheMessageEndsAtOrBelowTheFullStop) {
  EXPECT_EQ(ErrorBoxText("abc"), "abc.");
  EXPECT_EQ(ErrorBoxText(""), "");
  EXPECT_EQ(ErrorBoxText("done."), "done.");
  EXPECT_EQ(ErrorBoxText("(x)"), "(x)");
  EXPECT_EQ(ErrorBoxText("trailing "), "trailing ");
  EXPECT_EQ(ErrorBoxText("a-"), "a-");
  EXPECT_EQ(ErrorBoxText("a/"), "a/.");
  EXPECT_EQ(ErrorBoxText("why?"), "why?.");
  EXPECT_EQ(ErrorBoxText("終わり。"), "終わり。.");
  EXPECT_EQ(ErrorBoxText("line\r\n"), "line\r\n");
}

TEST(InnermostMessage, TakesTheInnermostNonEmptyMessage) {
  try {
    try {
      try {
        throw std::runtime_error("inner");
      } catch (...) {
        std::throw_with_nested(std::runtime_error("middle"));
      }
    } catch (...) {
      std::throw_with_nested(std::runtime_error("outer"));
    }
  } catch (const std::exception& failure) {
    EXPECT_EQ(InnermostMessage(failure), "inner");
  }
  try {
    try {
      throw std::runtime_error("");
    } catch (...) {
      std::throw_with_nested(std::runtime_error("outer"));
    }
  } catch (const std::exception& failure) {
    EXPECT_EQ(InnermostMessage(failure), "outer");
  }
}

}  // namespace
}  // namespace tolvane::window
