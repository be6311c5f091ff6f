// The order of a window's work on its drops, without a window: what the
// conversion's thread posts is run here when the test pumps it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/rules/drop_handling.h"
#include "convert/preview.h"
#include "support/report.h"
#include "tests/support/test_support.h"

namespace tolvane::window {
namespace {

// The window's thread: posted work waits here until Pump() runs it.
class WindowThread {
 public:
  PostToWindow Poster() {
    return [this](std::function<void()> work) {
      const std::lock_guard<std::mutex> lock(mutex_);
      work_.push_back(std::move(work));
      posted_.notify_all();
    };
  }

  // Runs posted work until `until` holds; false when nothing comes for a while.
  bool Pump(const std::function<bool()>& until) {
    while (!until()) {
      std::function<void()> work;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!posted_.wait_for(lock, std::chrono::seconds(30), [this] { return !work_.empty(); })) {
          return false;
        }
        work = std::move(work_.front());
        work_.pop_front();
      }
      work();
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> work_;
};

// Everything the window is told and the log is given, in order.
class RecordingWindow : public DropWindow, public Log {
 public:
  void SetConverting(bool converting) override { events.push_back(converting ? "busy" : "idle"); }
  void ShowFileName(const std::string& name) override { events.push_back("name " + name); }
  void ReportFailure(const std::exception_ptr& failure) override {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& error) {
      events.push_back("box " + ErrorBoxText(InnermostMessage(error)));
    }
  }
  void Clear() override { events.push_back("clear"); }
  void Append(std::string_view line) override { events.push_back("log " + std::string(line)); }

  std::vector<std::string> events;
};

TEST(DropHandling, ConvertsDropsOneAfterAnotherWithTheNameOrTheBoxAfterEach) {
  const testing::TempDir dir;
  const std::string bad = dir.File("bad.bmp");
  testing::WriteFile(bad, std::vector<std::uint8_t>(60, 0x42));
  const std::string good = dir.File("good.bmp");
  testing::WriteFile(good, testing::Bmp24(3, 2, [](int, int) { return testing::Bgr{}; }));
  const std::string other = dir.File("notes.txt");

  WindowThread thread;
  RecordingWindow window;
  PictureKeeper preview;
  DropHandling drops(window, window, preview, thread.Poster());
  drops.Add(bad);
  // Dropped while the first is converted: they wait their turn.
  drops.Add(good);
  drops.Add(other);
  EXPECT_TRUE(drops.Busy());
  ASSERT_TRUE(thread.Pump([&] { return !drops.Busy(); }));

  const std::vector<std::string> expected = {
      "busy", "clear", "log " + bad, "idle", "box ビットマップ画像が無効です.",
      "busy", "clear", "log " + good, "log 3 x 2", "idle", "name good.bmp",
      "busy", "idle", "name notes.txt"};
  EXPECT_EQ(window.events, expected);
}

}  // namespace
}  // namespace tolvane::window
