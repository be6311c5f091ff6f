#include <gtest/gtest.h>

#include <zlib.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "support/error.h"
#include "support/messages.h"
#include "tests/formats/png/png_fixture.h"

namespace tolvane::testing {
namespace {

using Mode = PngImage::Transparency;

std::filesystem::path SuiteDir() {
  const auto dir = TestDataDir();
  if (dir.empty() || !std::filesystem::is_directory(dir / "pngsuite")) return {};
  return dir / "pngsuite";
}

#define REQUIRE_SUITE()                           \
  const std::filesystem::path suite = SuiteDir(); \
  if (suite.empty()) GTEST_SKIP() << "the PNG peer suite is absent"

std::string FileOf(const std::filesystem::path& suite, const std::string& name) {
  return (suite / (name + ".png")).string();
}

Raster Decode(const std::string& path, PngImage* keep = nullptr) {
  PngImage image;
  image.LoadPng(path);
  Raster raster;
  image.ToRaster(raster);
  if (keep != nullptr) *keep = image;
  return raster;
}

bool SamePixels(const Raster& a, const Raster& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.Format() != b.Format()) return false;
  std::vector<std::uint8_t> la(4 * static_cast<std::size_t>(a.Width())), lb(la.size());
  for (int y = 0; y < a.Height(); ++y) {
    ReadRowBgrx(a, y, la.data());
    ReadRowBgrx(b, y, lb.data());
    if (la != lb) return false;
  }
  return true;
}

// The file's chunks as the suite wrote them (the good files are well formed).
std::vector<std::pair<std::string, Bytes>> ChunksOf(const Bytes& file) {
  std::vector<std::pair<std::string, Bytes>> chunks;
  std::size_t p = 8;
  while (p + 12 <= file.size()) {
    const std::uint32_t n = (std::uint32_t{file[p]} << 24) | (std::uint32_t{file[p + 1]} << 16) |
                            (std::uint32_t{file[p + 2]} << 8) | file[p + 3];
    chunks.emplace_back(std::string(file.begin() + static_cast<long>(p) + 4,
                                    file.begin() + static_cast<long>(p) + 8),
                        Bytes(file.begin() + static_cast<long>(p) + 8,
                              file.begin() + static_cast<long>(p + 8 + n)));
    p += 12 + n;
  }
  return chunks;
}

// The suite's names: three letters or digits, n or i (interlace), the colour
// type digit, a letter, two digits of bit depth.
struct SuiteName {
  bool interlaced = false;
  int colorType = 0;
  int depth = 0;
};

std::optional<SuiteName> ParseName(const std::string& name) {
  const auto digit = [&](std::size_t i) {
    return std::isdigit(static_cast<unsigned char>(name[i])) != 0;
  };
  if (name.size() != 8 || (name[3] != 'n' && name[3] != 'i') || !digit(4) || !digit(6) || !digit(7))
    return std::nullopt;
  return SuiteName{name[3] == 'i', name[4] - '0', std::stoi(name.substr(6, 2))};
}

TEST(PngSuite, BrokenFilesFailWithTheirMessages) {
  REQUIRE_SUITE();
  const std::map<std::string, std::string_view> expected = {
      {"xc1n0g08", messages::kPngUnknownColorType}, {"xc9n2c08", messages::kPngUnknownColorType},
      {"xcrn0g04", messages::kPngInvalidSignature}, {"xcsn0g01", messages::kPngCrcError},
      {"xd0n2c08", messages::kPngInvalidBitDepth},  {"xd3n2c08", messages::kPngInvalidBitDepth},
      {"xd9n2c08", messages::kPngInvalidBitDepth},  {"xdtn0g01", messages::kPngNoImageData},
      {"xhdn0g08", messages::kPngCrcError},         {"xlfn0g04", messages::kPngInvalidSignature},
      {"xs1n0g01", messages::kPngInvalidSignature}, {"xs2n0g01", messages::kPngInvalidSignature},
      {"xs4n0g01", messages::kPngInvalidSignature}, {"xs7n0g01", messages::kPngInvalidSignature},
  };
  int seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(suite)) {
    const std::string name = entry.path().stem().string();
    if (name[0] != 'x' || entry.path().extension() != ".png") continue;
    ++seen;
    ASSERT_TRUE(expected.count(name)) << "no expectation for " << name;
    PngImage image;
    try {
      image.LoadPng(entry.path().string());
      ADD_FAILURE() << name << " decoded";
    } catch (const Error& error) {
      EXPECT_EQ(error.what(), expected.at(name)) << name;
    }
  }
  EXPECT_EQ(seen, static_cast<int>(expected.size()));
}

// Every good file by the suite's naming: its size (from its header), and the raster format and
// transparency mode its colour type, bit depth and tRNS chunk call for.
TEST(PngSuite, GoodFilesDecodeToTheirFormats) {
  REQUIRE_SUITE();
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(suite)) {
    const std::string name = entry.path().stem().string();
    const auto parsed = ParseName(name);
    if (name[0] == 'x' || entry.path().extension() != ".png" || !parsed) continue;
    SCOPED_TRACE(name);
    const int colorType = parsed->colorType;
    const int depth = parsed->depth;
    const auto chunks = ChunksOf(ReadFile(entry.path().string()));
    ASSERT_EQ(chunks.front().first, "IHDR");
    const Bytes& ihdr = chunks.front().second;
    const int width = ihdr[2] << 8 | ihdr[3];
    const int height = ihdr[6] << 8 | ihdr[7];
    const auto trns =
        std::find_if(chunks.begin(), chunks.end(), [](const auto& c) { return c.first == "tRNS"; });
    Mode mode = Mode::None;
    if (colorType == 4 || colorType == 6) {
      mode = Mode::Partial;
    } else if (trns != chunks.end()) {
      mode = colorType != 3 || std::count_if(trns->second.begin(), trns->second.end(),
                                             [](auto v) { return v != 255; }) == 1
                 ? Mode::Key
                 : Mode::Partial;
    }
    RasterFormat format = RasterFormat::Bits32;
    if (mode != Mode::Partial) {
      format = depth == 1       ? RasterFormat::Bits1
               : depth <= 4     ? RasterFormat::Bits4
               : colorType == 3 ? RasterFormat::Bits8
                                : RasterFormat::Bits24;
    }

    PngImage image;
    const Raster raster = Decode(entry.path().string(), &image);
    EXPECT_EQ(image.Width(), width);
    EXPECT_EQ(image.Height(), height);
    EXPECT_EQ(image.InterlaceMethod(), parsed->interlaced ? 1 : 0);
    EXPECT_EQ(image.TransparencyMode(), mode);
    EXPECT_EQ(raster.Format(), format);
    EXPECT_EQ(raster.Alpha(), mode == Mode::Partial ? AlphaMode::Defined : AlphaMode::None);
    EXPECT_EQ(raster.Transparent(), mode == Mode::Key);
    ++checked;
  }
  EXPECT_GT(checked, 140);
}

TEST(PngSuite, TwinsDecodeAlike) {
  REQUIRE_SUITE();
  std::vector<std::pair<std::string, std::string>> twins;
  for (const char* kind : {"0g01", "0g02", "0g04", "0g08", "0g16", "2c08", "2c16", "3p01", "3p02",
                           "3p04", "3p08", "4a08", "4a16", "6a08", "6a16"}) {
    twins.emplace_back(std::string("basi") + kind, std::string("basn") + kind);
  }
  for (const char* size : {"01", "02", "03", "04", "05", "06", "07", "08", "09", "32", "33", "34",
                           "35", "36", "37", "38", "39", "40"}) {
    const std::string kind = std::stoi(size) < 5 ? "3p01" : std::stoi(size) < 10 ? "3p02" : "3p04";
    std::string interlaced = "s", plain = "s";
    interlaced.append(size).append("i").append(kind);
    plain.append(size).append("n").append(kind);
    twins.emplace_back(interlaced, plain);
  }
  // The same image split into 1, 2, 4 and 9 IDAT chunks, and at other zlib levels.
  for (const char* n : {"1", "2", "4", "9"}) {
    twins.emplace_back(std::string("oi") + n + "n0g16", "basn0g16");
    twins.emplace_back(std::string("oi") + n + "n2c16", "basn2c16");
  }
  for (const char* level : {"03", "06", "09"})
    twins.emplace_back(std::string("z") + level + "n2c08", "z00n2c08");
  for (const auto& [a, b] : twins) {
    EXPECT_TRUE(SamePixels(Decode(FileOf(suite, a)), Decode(FileOf(suite, b)))) << a << " vs " << b;
  }
}

// Each gamma file against the same file with its gAMA chunk renamed away.
TEST(PngSuite, GammaFilesFollowTheFormula) {
  REQUIRE_SUITE();
  TempDir dir;
  for (const char* gamma : {"03", "04", "05", "07", "10", "25"}) {
    for (const char* kind : {"n0g16", "n2c08", "n3p04"}) {
      const std::string name = std::string("g") + gamma + kind;
      SCOPED_TRACE(name);
      PngBuilder plain;
      std::uint32_t value = 0;
      for (const auto& [type, data] : ChunksOf(ReadFile(FileOf(suite, name)))) {
        if (type == "gAMA")
          value = (std::uint32_t{data[0]} << 24) | (data[1] << 16) | (data[2] << 8) | data[3];
        plain.Chunk(type == "gAMA" ? "gAMx" : type, data);
      }
      ASSERT_NE(value, 0u);
      const std::string path = dir.File("plain.png");
      WriteFile(path, plain.Build());
      const Raster raw = Decode(path);
      const Raster corrected = Decode(FileOf(suite, name));
      const double exponent = 1.0 / (value / 100000.0 * 2.2);
      for (int y = 0; y < raw.Height(); ++y) {
        for (int x = 0; x < raw.Width(); ++x) {
          const Bgra r = PixelAt(raw, x, y);
          const Bgra c = PixelAt(corrected, x, y);
          const auto expect = [&](std::uint8_t s) {
            return static_cast<int>(std::nearbyint(std::pow(s / 255.0, exponent) * 255.0));
          };
          ASSERT_EQ(c.red, expect(r.red)) << x << "," << y;
          ASSERT_EQ(c.green, expect(r.green)) << x << "," << y;
          ASSERT_EQ(c.blue, expect(r.blue)) << x << "," << y;
        }
      }
    }
  }
}

// A few pixels checked by hand against another decoder.
TEST(PngSuite, SpotValues) {
  REQUIRE_SUITE();
  struct Case {
    const char* name;
    int x, y;
    Bgra expected;
  };
  const Case cases[] = {
      {"basn6a08", 0, 0, {0, 0, 0, 0}},        {"basn6a08", 10, 9, {15, 82, 77, 82}},
      {"basn4a08", 10, 9, {58, 58, 58, 82}},   {"basn3p04", 0, 0, {0, 0, 255, 0}},
      {"basn3p04", 10, 9, {0, 255, 180, 0}},   {"tbrn2c08", 0, 0, {255, 255, 255, 0}},
      {"basn0g16", 10, 9, {173, 173, 173, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PixelAt(Decode(FileOf(suite, c.name)), c.x, c.y), c.expected) << c.name;
  }
  PngImage keyed;
  EXPECT_EQ(Decode(FileOf(suite, "tbrn2c08"), &keyed).TransparentColor(), (Rgb{255, 255, 255}));
}

}  // namespace
}  // namespace tolvane::testing
