// tolvane-cli preview: the window's preview box written as a PNG file.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/preview_command.h"
#include "convert/preview.h"
#include "formats/bmp/bmp.h"
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

TEST(PreviewCommand, AnUnhandledFileGivesTheEmptyBox) {
  TempDir dir;
  testing::WriteFile(dir.File("notes.txt"), {'x'});
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunPreviewCommand({dir.File("notes.txt"), dir.File("box.png"), "--dpi", "192"}, out, err),
            0);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace tolvane::cli
