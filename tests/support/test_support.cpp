#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "support/files.h"

namespace tolvane::testing {

TempDir::TempDir() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("tolvane-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteOutput(const std::string& path, const std::string& text) {
  AtomicOutputFile out(path);
  out.Write(text.data(), text.size());
  out.Commit();
}

std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    names.push_back(entry.path().lexically_relative(folder).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool NamesAreCaseSensitiveIn(const std::filesystem::path& folder) {
  const std::filesystem::path probe = folder / "case-probe";
  WriteFile(probe.string(), {});
  const bool sensitive = !std::filesystem::exists(folder / "CASE-PROBE");
  std::filesystem::remove(probe);
  return sensitive;
}

std::filesystem::path TestDataDir() {
  const char* dir = std::getenv("TOLVANE_TESTDATA_DIR");
  if (dir == nullptr || !std::filesystem::is_directory(dir)) return {};
  return dir;
}

void PutLe16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  PutLe16(out, value & 0xFFFF);
  PutLe16(out, value >> 16);
}

void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::vector<std::uint8_t> Bmp24(int width, int height,
                                const std::function<Bgr(int x, int y)>& pixelAt) {
  const std::uint32_t rowBytes = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
  const std::uint32_t imageBytes = rowBytes * static_cast<std::uint32_t>(height);
  std::vector<std::uint8_t> out{'B', 'M'};
  PutLe32(out, 54 + imageBytes);
  PutLe32(out, 0);
  PutLe32(out, 54);
  PutLe32(out, 40);
  PutLe32(out, static_cast<std::uint32_t>(width));
  PutLe32(out, static_cast<std::uint32_t>(height));
  PutLe16(out, 1);
  PutLe16(out, 24);
  for (int i = 0; i < 6; ++i) PutLe32(out, 0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const Bgr pixel = pixelAt(x, y);
      out.insert(out.end(), {pixel.blue, pixel.green, pixel.red});
    }
    out.resize(out.size() + (rowBytes - static_cast<std::uint32_t>(width) * 3), 0);
  }
  return out;
}

void ExpectSamePixels(const Raster& actual, const Raster& expected) {
  ASSERT_EQ(actual.Width(), expected.Width());
  ASSERT_EQ(actual.Height(), expected.Height());
  ASSERT_EQ(actual.Format(), expected.Format());
  for (int y = 0; y < expected.Height(); ++y) {
    const auto a = actual.Row(y);
    const auto e = expected.Row(y);
    ASSERT_TRUE(std::equal(a.begin(), a.end(), e.begin(), e.end())) << "row " << y;
  }
}

bool RowRecorder::Begin(const Raster&, RowDelivery delivery) {
  deliveries.push_back(delivery);
  ++begins;
  order.clear();
  copies.clear();
  return true;
}

void RowRecorder::RowDone(const Raster& raster, int y) {
  order.push_back(y);
  const auto row = raster.Row(y);
  copies.emplace_back(row.begin(), row.end());
}

void ExpectEveryRowReportedFinal(const RowRecorder& recorder, const Raster& raster, int restarts) {
  EXPECT_EQ(recorder.begins, 1 + restarts);
  EXPECT_EQ(recorder.abandons, restarts);
  ASSERT_EQ(recorder.order.size(), static_cast<std::size_t>(raster.Height()));
  for (int y = 0; y < raster.Height(); ++y) {
    ASSERT_EQ(recorder.order[static_cast<std::size_t>(y)], y);
    const auto row = raster.Row(y);
    ASSERT_TRUE(std::equal(row.begin(), row.end(),
                           recorder.copies[static_cast<std::size_t>(y)].begin(),
                           recorder.copies[static_cast<std::size_t>(y)].end()))
        << "row " << y << " changed after it was reported";
  }
}

}  // namespace tolvane::testing
