// The whole conversion of one file: the first byte picks the extension, the
// rest is the file. Then, as the window would, a second drop of a small good
// BMP that is reduced and written: whatever the first file did, the program
// must still be usable. Afterwards the folder holds nothing but the inputs
// and the outputs of conversions that succeeded, no descriptor is left open,
// and the log starts with the path.

#include <dirent.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "convert/convert.h"
#include "convert/read_input.h"
#include "fuzz/fuzz_input.h"
#include "support/error.h"

namespace {

class RecordingLog : public tolvane::Log {
 public:
  void Clear() override { lines.clear(); }
  void Append(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

class NullPreview : public tolvane::Preview {
 public:
  void Show(const tolvane::Raster&) override {}
  void Show(const tolvane::PngImage&) override {}
};

// The extension a first byte picks: the first of a format of the table.
std::string ExtensionFor(std::uint8_t pick) {
  const auto formats = tolvane::InputFormats();
  return tolvane::LowerAscii(formats[pick % formats.size()].extensions.front());
}

// A 2050 x 2 24-bit BMP: it is reduced to 2047 x 1 and written.
std::vector<std::uint8_t> GoodBmp() {
  constexpr std::uint32_t kWidth = 2050;
  constexpr std::uint32_t kHeight = 2;
  constexpr std::uint32_t kRowBytes = (kWidth * 3 + 3) / 4 * 4;
  constexpr std::uint32_t kPixelBytes = kRowBytes * kHeight;
  std::vector<std::uint8_t> out;
  auto le = [&out](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  out.push_back('B');
  out.push_back('M');
  le(54 + kPixelBytes, 4);
  le(0, 4);
  le(54, 4);
  le(40, 4);
  le(kWidth, 4);
  le(kHeight, 4);
  le(1, 2);
  le(24, 2);
  le(0, 4);
  le(kPixelBytes, 4);
  for (int i = 0; i < 4; ++i) le(0, 4);
  for (std::uint32_t i = 0; i < kPixelBytes; ++i) out.push_back(static_cast<std::uint8_t>(i * 7));
  return out;
}

// Stops the run with the broken promise named.
void Require(bool promise, const char* what) {
  if (promise) return;
  std::fprintf(stderr, "broken promise: %s\n", what);
  __builtin_trap();
}

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

// Converts the file; true when it failed.
bool Convert(const std::string& path, RecordingLog& log) {
  NullPreview preview;
  bool failed = false;
  try {
    tolvane::ConvertImageFile(path, log, preview);
  } catch (const tolvane::Error&) {
    failed = true;
  }
  // Every extension here is handled: the log is cleared and the path logged first.
  Require(!log.lines.empty() && log.lines[0] == path, "the log starts with the path");
  return failed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  auto& scratch = tolvane::fuzz::Scratch();
  static const std::vector<std::uint8_t> good = GoodBmp();
  static const std::string goodPath = scratch.Write("good.bmp", good.data(), good.size());
  static const std::string goodOutput = (scratch.Path() / "good_2048.bmp").string();

  // Counted afresh each time: libFuzzer's own files come and go between runs.
  const int descriptors = OpenDescriptors();
  const std::string name = "input" + ExtensionFor(data[0]);
  const std::string path = scratch.Write(name, data + 1, size - 1);
  RecordingLog log;
  const bool failed = Convert(path, log);

  // A failed conversion leaves no file behind; a successful one at most its output.
  int others = 0;
  for (const auto& entry : std::filesystem::directory_iterator(scratch.Path())) {
    const std::string file = entry.path().string();
    if (file == path || file == goodPath) continue;
    ++others;
    std::filesystem::remove(entry.path());
  }
  Require(others <= (failed ? 0 : 1), "no file is left behind by a failure");
  std::filesystem::remove(path);

  // The next drop, with the same log, converts as if nothing had happened.
  Require(!Convert(goodPath, log), "the next file converts");
  const std::vector<std::string> expected = {goodPath, "2050 x 2", "> " + goodOutput, "> 2047 x 1"};
  Require(log.lines == expected, "the next file logs its four lines");
  Require(std::filesystem::exists(goodOutput), "the next file is written");
  std::filesystem::remove(goodOutput);
  Require(OpenDescriptors() == descriptors, "no descriptor is left open");
  return 0;
}
