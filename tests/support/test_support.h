#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include <vector>

#include "raster/raster.h"
#include "raster/row_progress.h"
#include "support/error.h"

namespace tolvane::testing {

// A fresh folder for one test, removed with everything in it afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFile(const std::string& path);

// Writes an output file as the program does (AtomicOutputFile).
void WriteOutput(const std::string& path, const std::string& text);

// Every name below a folder, relative to it and sorted, so that a test sees
// any temporary file left over.
std::vector<std::string> FilesIn(const std::filesystem::path& folder);

// True when two names that differ in case only name two files in the folder.
bool NamesAreCaseSensitiveIn(const std::filesystem::path& folder);

// The folder of the peer suites (TOLVANE_TESTDATA_DIR), or empty when absent.
std::filesystem::path TestDataDir();

// Little- and big-endian appenders for building fixtures byte by byte.
void PutLe16(std::vector<std::uint8_t>& out, std::uint32_t value);
void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t value);
void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t value);

// A 24-bit bottom-up BMP (54-byte headers) whose pixel (x, y), counted from
// the top row, is pixelAt(x, y) as {blue, green, red}.
struct Bgr {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
};
std::vector<std::uint8_t> Bmp24(int width, int height,
                                const std::function<Bgr(int x, int y)>& pixelAt);

// Expects the same size, format and bytes in every row.
void ExpectSamePixels(const Raster& actual, const Raster& expected);

// A decoder's row consumer that keeps a copy of every row as it is reported
// since the last Begin, and counts what else was called.
class RowRecorder : public RowProgress {
 public:
  bool Begin(const Raster& raster, RowDelivery delivery) override;
  void RowDone(const Raster& raster, int y) override;
  void Abandon() override { ++abandons; }

  int begins = 0;
  std::vector<RowDelivery> deliveries;
  int abandons = 0;
  std::vector<int> order;
  std::vector<std::vector<std::uint8_t>> copies;
};

// Expects one Begin (and one more after each of `restarts` Abandons) and
// every row of the raster reported once since the last, top to bottom, with
// the bytes it still has at the end.
void ExpectEveryRowReportedFinal(const RowRecorder& recorder, const Raster& raster,
                                 int restarts = 0);

// The message a failing call raises, or "" when it succeeds.
template <typename Call>
std::string MessageOf(Call call) {
  try {
    call();
  } catch (const Error& error) {
    return error.what();
  }
  return "";
}

}  // namespace tolvane::testing
