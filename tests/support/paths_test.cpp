#include "support/paths.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(Paths, ExtensionIsTakenAfterTheLastDotOfTheName) {
  struct Case {
    const char* path;
    const char* windows;
    const char* posix;
  };
  const Case cases[] = {
      {"C:\\pics\\photo.jpg", ".jpg", ".jpg"},
      {"C:\\a.b\\file", "", ".b\\file"},
      {"/a.b/file", ".b/file", ""},
      {"C:\\pics\\.png", ".png", ".png"},
      {"name", "", ""},
      {"dir/x.tar.gz", ".gz", ".gz"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtensionOf(c.path, kWindowsSeparators), c.windows) << c.path;
    EXPECT_EQ(ExtensionOf(c.path, kPosixSeparators), c.posix) << c.path;
  }
}

TEST(Paths, UpperCasesOnlyAsciiLetters) {
  EXPECT_EQ(UpperAscii(".jPeg"), ".JPEG");
  EXPECT_EQ(UpperAscii(".pngé"), ".PNGé");
}

}  // namespace
}  // namespace tolvane
