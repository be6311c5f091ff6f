#include "convert/output_path.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

struct NamingCase {
  const char* input;
  const char* output;
};

TEST(OutputPath, WindowsPaths) {
  const NamingCase cases[] = {
      {"C:\\pics\\photo.jpg", "C:\\pics\\photo_2048.png"},
      {"C:\\pics\\scan.Tiff", "C:\\pics\\scan_2048.png"},
      {"C:\\pics\\a.b.c.jpg", "C:\\pics\\a.b.c_2048.png"},
      {"C:\\pics\\a.b.BMP", "C:\\pics\\a.b_2048.bmp"},
      {"C:\\in_2048\\photo.jpg", "C:\\in_2048\\photo.png"},
      {"C:\\pics\\photo_2048.jpg", "C:\\pics\\photo_2048.png"},
      {"C:\\pics\\.png", "C:\\pics\\_2048.png"},
      {"C:photo.bmp", "C:photo_2048.bmp"},
      {"C:\\a.b\\photo.png", "C:\\a.b\\photo_2048.png"},
  };
  for (const NamingCase& c : cases) {
    EXPECT_EQ(OutputPathFor(c.input, kWindowsSeparators), c.output) << c.input;
  }
}

TEST(OutputPath, PosixPaths) {
  const NamingCase cases[] = {
      {"/pics/photo.jpg", "/pics/photo_2048.png"},
      {"/pics/scan.Tiff", "/pics/scan_2048.png"},
      {"/pics/a.b.c.jpg", "/pics/a.b.c_2048.png"},
      {"/pics/a.b.BMP", "/pics/a.b_2048.bmp"},
      {"/in_2048/photo.jpg", "/in_2048/photo.png"},
      {"/pics/photo_2048.jpg", "/pics/photo_2048.png"},
      {"/pics/.png", "/pics/_2048.png"},
      {"photo.bmp", "photo_2048.bmp"},
      {"/a.b/photo.png", "/a.b/photo_2048.png"},
      // Backslashes and colons are ordinary name characters here.
      {"/pics/x:y\\photo.jpg", "/pics/x:y\\photo_2048.png"},
  };
  for (const NamingCase& c : cases) {
    EXPECT_EQ(OutputPathFor(c.input, kPosixSeparators), c.output) << c.input;
  }
}

}  // namespace
}  // namespace tolvane
