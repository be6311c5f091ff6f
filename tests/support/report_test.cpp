#include "support/report.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(ErrorBoxText, AppendsAPeriodUnlessTheLastCharacterIsAtMostU002E) {
  struct Case {
    const char* message;
    const char* shown;
  };
  const Case cases[] = {
      {"", ""},
      {"ビットマップ画像が無効です", "ビットマップ画像が無効です."},
      {"画像です。", "画像です。."},  // U+3002 is above U+002E
      {"ファイル a は開けません。 No such file ", "ファイル a は開けません。 No such file "},
      {"(CRC エラー)", "(CRC エラー)"},  // ")" is U+0029
      {"done.", "done."},
      {"a-", "a-"},                             // U+002D
      {"a/", "a/."},                            // U+002F
      {"JPEG エラー #42", "JPEG エラー #42."},  // digits are above U+002E
      {"ends\r\n", "ends\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorBoxText(c.message), c.shown) << c.message;
  EXPECT_EQ(ErrorBoxText(std::string_view("nul\0", 4)), std::string("nul\0", 4));
}

}  // namespace
}  // namespace tolvane
