#include "convert/read_input.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(InputFormats, TheExtensionPicksTheReaderInAnyCase) {
  const struct {
    const char* path;
    const char* format;  // "" for none
  } cases[] = {
      {"C:\\p\\photo.jpg", "jpeg"}, {"C:\\p\\photo.jPg", "jpeg"}, {"C:\\p\\photo.Jpeg", "jpeg"},
      {"C:\\p\\scan.tIf", "tiff"},  {"C:\\p\\scan.TIFF", "tiff"}, {"C:\\p\\art.png", "png"},
      {"C:\\p\\a.b.BMP", "bmp"},    {"C:\\p\\anim.gif", ""},      {"C:\\p\\photo.jpe", ""},
      {"C:\\p\\noext", ""},         {"C:\\a.b\\file", ""},        {"C:\\p\\.png", "png"},
  };
  for (const auto& c : cases) {
    const InputFormat* format = InputFormatFor(c.path, kWindowsSeparators);
    EXPECT_EQ(format == nullptr ? "" : format->name, std::string_view(c.format)) << c.path;
  }
  EXPECT_EQ(InputFormatFor("photo.jpg")->outputExtension, ".png");
  EXPECT_EQ(InputFormatFor("picture.bmp")->outputExtension, ".bmp");
}

TEST(InputFormats, TheCommandLineListsEveryHandledExtension) {
  EXPECT_EQ(HandledExtensions(), ".jpg, .jpeg, .tif, .tiff, .png or .bmp");
}

}  // namespace
}  // namespace tolvane
