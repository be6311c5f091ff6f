// The whole conversion of one file: the first byte picks the extension, the
// rest is the file. Whatever happens, the folder holds nothing afterwards but
// the input and, after a success, its reduced copy.

#include <filesystem>
#include <string_view>

#include "convert/convert.h"
#include "fuzz/fuzz_input.h"
#include "support/error.h"

namespace {

class NullLog : public tolvane::Log {
 public:
  void Clear() override {}
  void Append(std::string_view) override {}
};

class NullPreview : public tolvane::Preview {
 public:
  void Show(const tolvane::Raster&) override {}
  void Show(const tolvane::PngImage&) override {}
};

constexpr std::string_view kExtensions[] = {".bmp", ".png", ".jpg", ".tif"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string name = std::string("input") + std::string(kExtensions[data[0] % 4]);
  auto& scratch = tolvane::fuzz::Scratch();
  const std::string path = scratch.Write(name, data + 1, size - 1);
  NullLog log;
  NullPreview preview;
  bool failed = false;
  try {
    tolvane::ConvertImageFile(path, log, preview);
  } catch (const tolvane::Error&) {
    failed = true;
  }
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(scratch.Path())) {
    ++files;
    if (entry.path().string() != path) std::filesystem::remove(entry.path());
  }
  // A failed conversion leaves no file behind.
  if (failed && files != 1) __builtin_trap();
  return 0;
}
