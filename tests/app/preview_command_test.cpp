// tolvane-cli preview: the window's preview box written as a PNG file.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <tuple>

#include "cli/preview_command.h"
#include "convert/preview.h"
#include "formats/bmp/bmp.h"
#include "formats/png/png_image.h"
#include "support/messages.h"
#include "tests/support/test_support.h"

namespace tolvane::cli {
namespace {

using tolvane::testing::TempDir;

TEST(PreviewCommand, RejectsWrongArguments) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"in.bmp"},
                                             {"in.bmp", "out.png", "extra"},
                                             {"in.bmp", "out.png", "--dpi"},
                                             {"in.bmp", "out.png", "--dpi", "0"},
                                             {"in.bmp", "out.png", "--dpi", "96x"},
                                             {"in.bmp", "out.png", "--dpi", "961"}}) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunPreviewCommand(args, out, err), 2) << args.size();
    EXPECT_EQ(err.str(), messages::kCliUsage);
    EXPECT_EQ(out.str(), "");
  }
}

TEST(PreviewCommand, AFailingFileWritesTheBoxTextAndNoPicture) {
  TempDir dir;
  const std::string missing = dir.File("missing.bmp");
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunPreviewCommand({missing, dir.File("box.png")}, out, err), 1);
  EXPECT_EQ(out.str(), missing + "\n");
  EXPECT_EQ(err.str().rfind("ファイル " + missing + " は開けません。", 0), 0u) << err.str();
  EXPECT_FALSE(std::filesystem::exists(dir.File("box.png")));
}

// The box read back from the written PNG file.
Raster ReadBox(const std::string& path) {
  PngImage png;
  png.LoadPng(path);
  Raster raster;
  png.ToRaster(raster);
  return raster;
}

void ExpectSamePixels(const Raster& raster, const Surface& surface) {
  ASSERT_EQ(raster.Width(), surface.Width());
  ASSERT_EQ(raster.Height(), surface.Height());
  std::vector<std::uint8_t> row(4 * static_cast<std::size_t>(raster.Width()));
  for (int y = 0; y < raster.Height(); ++y) {
    ReadRowBgrx(raster, y, row.data());
    for (int x = 0; x < raster.Width(); ++x) {
      for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(row[4 * x + c], surface.Row(y)[4 * x + c]) << x << ", " << y;
      }
    }
  }
}

// A 24-bit bottom-up bitmap of 3 x 2 pixels in six colours.
std::vector<std::uint8_t> SmallBitmap() {
  std::vector<std::uint8_t> out{'B', 'M'};
  testing::PutLe32(out, 54 + 16);
  testing::PutLe32(out, 0);
  testing::PutLe32(out, 54);
  testing::PutLe32(out, 40);
  testing::PutLe32(out, 3);
  testing::PutLe32(out, 2);
  testing::PutLe16(out, 1);
  testing::PutLe16(out, 24);
  for (int i = 0; i < 6; ++i) testing::PutLe32(out, 0);
  const std::uint8_t rows[2][12] = {{10, 20, 30, 40, 50, 60, 70, 80, 90, 0, 0, 0},
                                    {200, 0, 0, 0, 200, 0, 0, 0, 200, 0, 0, 0}};
  for (const auto& row : rows) out.insert(out.end(), row, row + 12);
  return out;
}

TEST(PreviewCommand, WritesTheBoxAsTheWindowPaintsItAtTheGivenDpi) {
  TempDir dir;
  const std::string input = dir.File("small.bmp");
  testing::WriteFile(input, SmallBitmap());
  Raster loaded;
  LoadBmpFile(input, loaded);
  const Picture picture{loaded};
  for (const auto& [dpi, width, height] :
       std::vector<std::tuple<std::string, int, int>>{{"96", 249, 147}, {"192", 498, 294}}) {
    const std::string output = dir.File("box" + dpi + ".png");
    std::ostringstream out;
    std::ostringstream err;
    std::vector<std::string> args{input, output};
    if (dpi != "96") args.insert(args.end(), {"--dpi", dpi});
    ASSERT_EQ(RunPreviewCommand(args, out, err), 0) << err.str();
    EXPECT_EQ(out.str(), input + "\n3 x 2\n");
    EXPECT_EQ(err.str(), "");
    ExpectSamePixels(ReadBox(output), RenderPreview(picture, width, height));
  }
}

TEST(PreviewCommand, AnUnhandledFileGivesTheEmptyBox) {
  TempDir dir;
  testing::WriteFile(dir.File("notes.txt"), {'x'});
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(
      RunPreviewCommand({dir.File("notes.txt"), dir.File("box.png"), "--dpi", "192"}, out, err), 0);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "");
  ExpectSamePixels(ReadBox(dir.File("box.png")), RenderPreview(Picture{}, 498, 294));
}

}  // namespace
}  // namespace tolvane::cli
