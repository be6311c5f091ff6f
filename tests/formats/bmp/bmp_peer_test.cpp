#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/bmp/bmp.h"
#include "support/error.h"
#include "tests/support/test_support.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kWidthOffset = 18;  // biWidth, then biHeight

std::vector<fs::path> FilesUnder(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool IsBmpName(const fs::path& path) {
  std::string extension = path.extension().string();
  for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return extension == ".BMP";
}

// Reading either succeeds or fails with a message; nothing else may happen.
void ExpectReadOrMessage(const std::string& path) {
  Raster raster;
  try {
    LoadBmpFile(path, raster);
  } catch (const Error& e) {
    EXPECT_FALSE(std::string(e.what()).empty()) << path;
  }
}

TEST(BmpPeerSuite, GoodFilesDecode) {
  const fs::path root = testing::TestDataDir();
  if (root.empty() || !fs::is_directory(root / "bmp")) GTEST_SKIP() << "peer suite absent";
  int decoded = 0;
  for (const fs::path& file : FilesUnder(root / "bmp")) {
    if (!IsBmpName(file)) continue;
    SCOPED_TRACE(file.string());
    Raster raster;
    ASSERT_NO_THROW(LoadBmpFile(file.string(), raster));
    EXPECT_GT(raster.Width(), 0);
    EXPECT_GT(raster.Height(), 0);
    EXPECT_EQ(raster.Store().size(), raster.RowBytes() * static_cast<std::size_t>(raster.Height()));
    ++decoded;
  }
  EXPECT_GT(decoded, 0);
}

// The good files cut short at every header length and with each header byte
// spoilt, and every other file of the peer suites, read as bitmaps. The
// width and height bytes are left alone: spoilt, they ask for stores of many
// gigabytes, which the fixtures cover at far less cost.
TEST(BmpPeerSuite, DamagedAndForeignFilesFailWithAMessage) {
  const fs::path root = testing::TestDataDir();
  if (root.empty()) GTEST_SKIP() << "peer suites absent";
  testing::TempDir dir;
  const std::string damaged = dir.File("damaged.bmp");
  for (const fs::path& file : FilesUnder(root)) {
    SCOPED_TRACE(file.string());
    ExpectReadOrMessage(file.string());
    if (!IsBmpName(file)) continue;
    const std::vector<std::uint8_t> bytes = testing::ReadFile(file.string());
    const std::size_t headerEnd = std::min<std::size_t>(bytes.size(), 60);
    for (std::size_t cut = 0; cut <= headerEnd; ++cut) {
      testing::WriteFile(
          damaged, std::vector<std::uint8_t>(bytes.begin(),
                                             bytes.begin() + static_cast<std::ptrdiff_t>(cut)));
      ExpectReadOrMessage(damaged);
    }
    for (std::size_t at = 0; at < headerEnd; ++at) {
      if (at >= kWidthOffset && at < kWidthOffset + 8) continue;
      for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0x7F}, std::uint8_t{0xFF}}) {
        std::vector<std::uint8_t> spoilt = bytes;
        spoilt[at] = value;
        testing::WriteFile(damaged, spoilt);
        ExpectReadOrMessage(damaged);
      }
    }
  }
}

}  // namespace
}  // namespace tolvane
