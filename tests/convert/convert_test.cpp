#include "convert/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "formats/png/png_encoder.h"
#include "formats/png/png_image.h"
#include "raster/raster.h"
#include "support/error.h"
#include "support/files.h"
#include "support/messages.h"
#include "tests/convert/bmp_fixture.h"
#include "tests/convert/conversion_failure.h"
#include "tests/support/platform.h"
#include "tests/support/test_support.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using testing::FailureOf;
using testing::FilesIn;
using testing::ReadFile;
using testing::TempDir;
using testing::UniformBmp;
using testing::WriteFile;

// Records every call of the conversion on its log and preview, in order.
class Recorder : public Log, public Preview {
 public:
  void Clear() override { events.push_back("clear"); }
  void Append(std::string_view line) override { events.push_back("append " + std::string(line)); }
  void Show(const Raster& raster) override {
    events.push_back("show raster " + messages::SizeLine(raster.Width(), raster.Height()));
    shown = raster;
  }
  void Show(const PngImage& image) override {
    events.push_back("show png " + messages::SizeLine(image.Width(), image.Height()));
  }

  std::vector<std::string> events;
  Raster shown;
};

using Events = std::vector<std::string>;

TEST(ConvertImageFile, UnhandledExtensionsChangeNothing) {
  TempDir dir;
  fs::create_directory(dir.Path() / "a.b");
  const std::vector<std::uint8_t> bmp = UniformBmp(3000, 2);
  for (const char* name : {"photo.gif", "photo.jpe", "photo", "a.b/file", "photo.bmp.txt"}) {
    WriteFile(dir.File(name), bmp);
  }
  const std::vector<std::string> before = FilesIn(dir.Path());
  for (const char* name :
       {"photo.gif", "photo.jpe", "photo", "a.b/file", "photo.bmp.txt", "missing.gif"}) {
    Recorder recorder;
    ConvertImageFile(dir.File(name), recorder, recorder);
    EXPECT_EQ(recorder.events, Events{}) << name;
  }
  EXPECT_EQ(FilesIn(dir.Path()), before);
}

TEST(ConvertImageFile, ImagesUpToTheLimitAreShownAndMeasuredOnly) {
  struct Case {
    const char* name;
    int width, height;
  };
  for (const Case& c :
       {Case{"square.bmp", 2048, 2048}, Case{"wide.BMP", 2048, 100}, Case{"mixed.bMp", 3, 2}}) {
    TempDir dir;
    const std::string path = dir.File(c.name);
    WriteFile(path, UniformBmp(c.width, c.height));
    Recorder recorder;
    ConvertImageFile(path, recorder, recorder);
    const std::string size = messages::SizeLine(c.width, c.height);
    EXPECT_EQ(recorder.events,
              (Events{"clear", "append " + path, "append " + size, "show raster " + size}));
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{c.name});
  }
}

TEST(ConvertImageFile, ReducesAndWritesABmpWithFourLogLines) {
  TempDir dir;
  const std::string path = dir.File("photo.bmp");
  WriteFile(path, UniformBmp(3000, 2000));
  Recorder recorder;
  ConvertImageFile(path, recorder, recorder);

  const std::string output = dir.File("photo_2048.bmp");
  EXPECT_EQ(recorder.events,
            (Events{"clear", "append " + path, "append 3000 x 2000", "show raster 3000 x 2000",
                    "show raster 2047 x 1365", "append > " + output, "append > 2047 x 1365"}));
  const std::vector<std::uint8_t> written = ReadFile(output);
  ASSERT_EQ(written.size(), 54u + 4u * 2047u * 1365u);
  // A uniform source reduces to its own colour; the fourth byte is 0.
  EXPECT_EQ((std::vector<std::uint8_t>(written.begin() + 54, written.begin() + 58)),
            (std::vector<std::uint8_t>{10, 20, 30, 0}));
  EXPECT_EQ((std::vector<std::uint8_t>(written.end() - 4, written.end())),
            (std::vector<std::uint8_t>{10, 20, 30, 0}));
  EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"photo.bmp", "photo_2048.bmp"}));
}

TEST(ConvertImageFile, OneSideAboveTheLimitIsEnough) {
  struct Case {
    int width, height, reducedWidth, reducedHeight;
  };
  for (const Case& c : {Case{2049, 100, 2048, 99}, Case{100, 2049, 99, 2048}}) {
    TempDir dir;
    const std::string path = dir.File("strip.bmp");
    WriteFile(path, UniformBmp(c.width, c.height));
    Recorder recorder;
    ConvertImageFile(path, recorder, recorder);
    const std::string reduced = messages::SizeLine(c.reducedWidth, c.reducedHeight);
    ASSERT_EQ(recorder.events.size(), 7u);
    EXPECT_EQ(recorder.events[4], "show raster " + reduced);
    EXPECT_EQ(recorder.events[6], "append > " + reduced);
    EXPECT_EQ(ReadFile(dir.File("strip_2048.bmp")).size(),
              54u + 4u * static_cast<unsigned>(c.reducedWidth * c.reducedHeight));
  }
}

TEST(ConvertImageFile, ReplacesAnExistingOutputAndHonoursTheSuffixInAFolder) {
  TempDir dir;
  if (!testing::NamesAreCaseSensitiveIn(dir.Path())) GTEST_SKIP() << "file names ignore case here";
  fs::create_directory(dir.Path() / "in_2048");
  // Upper-case input extension: the lower-case output is another file here.
  const std::string path = dir.File("in_2048/photo.BMP");
  const std::string output = dir.File("in_2048/photo.bmp");
  WriteFile(path, UniformBmp(2049, 3));
  WriteFile(output, {1, 2, 3});
  Recorder recorder;
  ConvertImageFile(path, recorder, recorder);
  EXPECT_EQ(recorder.events.at(5), "append > " + output);
  EXPECT_EQ(ReadFile(output).size(), 54u + 4u * 2048u * 2u);
}

TEST(ConvertImageFile, AReducedSideOfZeroFailsBeforeAnythingIsWritten) {
  struct Case {
    int width, height;
    const char* reduced;
  };
  for (const Case& c :
       {Case{2050, 1, "2047 x 0"}, Case{1, 3000, "0 x 2047"}, Case{2049, 1, "2048 x 0"}}) {
    TempDir dir;
    const std::string path = dir.File("thin.bmp");
    WriteFile(path, UniformBmp(c.width, c.height));
    Recorder recorder;
    const std::string size = messages::SizeLine(c.width, c.height);
    EXPECT_EQ(FailureOf(path, recorder), "縮小後の幅または高さが 0 になるため、保存できません (" +
                                             std::string(c.reduced) + ")");
    EXPECT_EQ(recorder.events,
              (Events{"clear", "append " + path, "append " + size, "show raster " + size}));
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"thin.bmp"});
  }
}

TEST(ConvertImageFile, AMissingInputFailsWithThePathLogged) {
  TempDir dir;
  for (const char* name : {"missing.bmp", "missing.png", "missing.jpg", "missing.tif"}) {
    const std::string path = dir.File(name);
    Recorder recorder;
    EXPECT_EQ(FailureOf(path, recorder),
              messages::CannotOpenFile(path, OsErrorText(testing::kNoSuchFile)));
    EXPECT_EQ(recorder.events, (Events{"clear", "append " + path})) << name;
  }
  EXPECT_TRUE(FilesIn(dir.Path()).empty());
}

TEST(ConvertImageFile, AnOutputThatCannotBeCreatedLeavesNoFile) {
  TempDir dir;
  const std::string path = dir.File("photo.bmp");
  WriteFile(path, UniformBmp(2049, 2));
  // A folder where the output would go cannot be replaced.
  fs::create_directory(dir.Path() / "photo_2048.bmp");
  Recorder recorder;
  EXPECT_EQ(
      FailureOf(path, recorder),
      messages::CannotCreateFile(dir.File("photo_2048.bmp"), OsErrorText(testing::kIsAFolder)));
  EXPECT_EQ(recorder.events, (Events{"clear", "append " + path, "append 2049 x 2",
                                     "show raster 2049 x 2", "show raster 2048 x 1"}));
  EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"photo.bmp", "photo_2048.bmp"}));
}

TEST(ConvertImageFile, AFolderWithoutWritePermissionKeepsTheExistingOutput) {
  if (!testing::FolderPermissionsBind()) GTEST_SKIP() << "folder permissions do not bind here";
  TempDir dir;
  const std::string path = dir.File("photo.bmp");
  const std::string output = dir.File("photo_2048.bmp");
  WriteFile(path, UniformBmp(2049, 2));
  WriteFile(output, {1, 2, 3});
  fs::permissions(dir.Path(), fs::perms::owner_read | fs::perms::owner_exec);
  Recorder recorder;
  const std::string message = FailureOf(path, recorder);
  fs::permissions(dir.Path(), fs::perms::owner_all);
  EXPECT_EQ(message, messages::CannotCreateFile(output, OsErrorText(testing::kAccessDenied)));
  EXPECT_EQ(ReadFile(output), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"photo.bmp", "photo_2048.bmp"}));
}

TEST(ConvertImageFile, TheOutputNeverReplacesItsInput) {
  TempDir dir;
  const std::vector<std::uint8_t> bmp = UniformBmp(3000, 2);
  {  // The same path: the name holds the suffix already.
    const std::string path = dir.File("x_2048.bmp");
    WriteFile(path, bmp);
    Recorder recorder;
    EXPECT_EQ(FailureOf(path, recorder), messages::OutputIsInput(path));
    EXPECT_EQ(recorder.events, (Events{"clear", "append " + path, "append 3000 x 2",
                                       "show raster 3000 x 2", "show raster 2047 x 1"}));
    EXPECT_EQ(ReadFile(path), bmp);
  }
  {  // Another name for the same file, as a case-insensitive file system gives.
    const std::string path = dir.File("y_2048.BMP");
    const std::string output = dir.File("y_2048.bmp");
    WriteFile(path, bmp);
    // A file system that ignores case gives the second name by itself.
    if (!fs::exists(output)) fs::create_hard_link(path, output);
    Recorder recorder;
    EXPECT_EQ(FailureOf(path, recorder), messages::OutputIsInput(output));
    EXPECT_EQ(ReadFile(path), bmp);
  }
  {  // An output name that links to the input: outputs are written through links.
    const std::string path = dir.File("z.bmp");
    const std::string output = dir.File("z_2048.bmp");
    WriteFile(path, bmp);
    // Only where the system lets this user make links (not Windows, as a rule).
    std::error_code noLinks;
    fs::create_symlink("z.bmp", output, noLinks);
    if (!noLinks) {
      Recorder recorder;
      EXPECT_EQ(FailureOf(path, recorder), messages::OutputIsInput(output));
      EXPECT_EQ(ReadFile(path), bmp);
      EXPECT_TRUE(fs::is_symlink(output));
    }
  }
}

TEST(ConvertImageFile, EachReaderLogsAndShowsInItsOwnOrder) {
  const fs::path data = testing::TestDataDir();
  if (data.empty()) GTEST_SKIP() << "peer suites absent";
  // Sizes within the limit: nothing is written beside the peer files.
  const std::string jpeg = (data / "jpeg" / "testorig.jpg").string();
  const std::string tiff = (data / "tiff" / "palette-1c-8b.tiff").string();
  const std::string png = (data / "pngsuite" / "basn2c08.png").string();
  const std::vector<std::pair<std::string, Events>> cases = {
      {jpeg, {"clear", "append " + jpeg, "show raster 227 x 149", "append 227 x 149"}},
      {tiff, {"clear", "append " + tiff, "show raster 157 x 151", "append 157 x 151"}},
      {png, {"clear", "append " + png, "append 32 x 32", "show png 32 x 32"}},
  };
  for (const auto& [path, events] : cases) {
    Recorder recorder;
    ConvertImageFile(path, recorder, recorder);
    EXPECT_EQ(recorder.events, events);
  }
}

TEST(ConvertImageFile, APngIsReducedIntoAPng) {
  TempDir dir;
  const std::string path = dir.File("wide.Png");
  Raster source;
  source.SetSize(3000, 2);
  SavePngFile(source, path);

  Recorder recorder;
  ConvertImageFile(path, recorder, recorder);
  const std::string output = dir.File("wide_2048.png");
  EXPECT_EQ(recorder.events,
            (Events{"clear", "append " + path, "append 3000 x 2", "show png 3000 x 2",
                    "show raster 2047 x 1", "append > " + output, "append > 2047 x 1"}));
  PngImage written;
  written.LoadPng(output);
  EXPECT_EQ(written.Width(), 2047);
  EXPECT_EQ(written.Height(), 1);
}

}  // namespace
}  // namespace tolvane
