// Decoding a 5120 x 2880 baseline JPEG: the program's reader into the working
// raster, against libjpeg decoding the same bytes with the same parameters
// into a plain buffer. The reader should cost at most a tenth more.

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "formats/jpeg/jpeg_image.h"
#include "raster/raster.h"

namespace {

constexpr int kWidth = 5120;
constexpr int kHeight = 2880;

// A photograph-like picture: a sky gradient, hills, soft shapes and fine
// noise, so that the entropy decoder sees realistic amounts of detail.
void PicturePixel(int x, int y, std::uint32_t& noise, std::uint8_t* out) {
  noise = noise * 1664525u + 1013904223u;
  const int grain = static_cast<int>((noise >> 24) % 17) - 8;
  const double fx = static_cast<double>(x) / kWidth;
  const double fy = static_cast<double>(y) / kHeight;
  const double hill = 0.6 + 0.08 * std::sin(fx * 9.0) + 0.05 * std::sin(fx * 23.0 + 1.3);
  double red, green, blue;
  if (fy < hill) {
    red = 90 + 100 * fy;
    green = 140 + 80 * fy;
    blue = 230 - 40 * fy;
  } else {
    const double texture = 20 * std::sin(x * 0.07) * std::sin(y * 0.05);
    red = 70 + texture + 40 * (fy - hill);
    green = 120 + texture;
    blue = 50 + texture / 2;
  }
  const double cx = fx - 0.7, cy = fy - 0.3;
  if (cx * cx + cy * cy < 0.01) red = 250, green = 220, blue = 120;  // a sun
  auto clamp = [](double v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  out[0] = clamp(red + grain);
  out[1] = clamp(green + grain);
  out[2] = clamp(blue + grain);
}

std::vector<std::uint8_t> MakePicture() {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_CreateCompress(&info, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = kWidth;
  info.image_height = kHeight;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 90, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<std::uint8_t> row(kWidth * 3);
  std::uint32_t noise = 12345;
  while (info.next_scanline < info.image_height) {
    for (int x = 0; x < kWidth; ++x) {
      PicturePixel(x, static_cast<int>(info.next_scanline), noise, row.data() + 3 * x);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<std::uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&info);
  return out;
}

struct Fixture {
  std::vector<std::uint8_t> bytes;
  std::string path;
  Fixture() : bytes(MakePicture()) {
    path = (std::filesystem::temp_directory_path() / "tolvane-bench-5120x2880.jpg").string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  ~Fixture() { std::filesystem::remove(path); }
};

const Fixture& Picture() {
  static const Fixture fixture;
  return fixture;
}

// The program's path: load the file (bytes and header), fill the working raster.
void DecodeWithReader(const Fixture& fixture) {
  tolvane::JpegImage image;
  image.LoadJpeg(fixture.path);
  tolvane::Raster working;
  image.ToRaster(working);
  benchmark::DoNotOptimize(working.Row(0).data());
}

// libjpeg alone: the same parameters, one row per call, into a fresh buffer.
void DecodeWithLibjpeg(const Fixture& fixture) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_CreateDecompress(&info, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
  jpeg_mem_src(&info, fixture.bytes.data(), static_cast<unsigned long>(fixture.bytes.size()));
  jpeg_read_header(&info, TRUE);
  info.scale_num = 1;
  info.scale_denom = 1;
  info.do_block_smoothing = TRUE;
  info.dct_method = JDCT_FLOAT;
  jpeg_start_decompress(&info);
  const std::size_t stride = static_cast<std::size_t>(info.output_width) * 3;
  auto pixels = std::make_unique_for_overwrite<std::uint8_t[]>(stride * info.output_height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = pixels.get() + stride * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  benchmark::DoNotOptimize(pixels.get());
}

double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_JpegImageToRaster(benchmark::State& state) {
  const Fixture& fixture = Picture();
  for (auto _ : state) DecodeWithReader(fixture);
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(kWidth) * kHeight * 3 / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

void BM_LibjpegToBuffer(benchmark::State& state) {
  const Fixture& fixture = Picture();
  for (auto _ : state) DecodeWithLibjpeg(fixture);
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(kWidth) * kHeight * 3 / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

// Both decodes in turn, each timed by the thread's CPU clock; the fastest of
// each is kept, so that other work on a shared machine falls out of the ratio.
void BM_ReaderOverLibjpeg(benchmark::State& state) {
  const Fixture& fixture = Picture();
  double reader = 1e9;
  double library = 1e9;
  for (auto _ : state) {
    double start = ThreadSeconds();
    DecodeWithLibjpeg(fixture);
    library = std::min(library, ThreadSeconds() - start);
    start = ThreadSeconds();
    DecodeWithReader(fixture);
    reader = std::min(reader, ThreadSeconds() - start);
  }
  state.counters["libjpeg_ms"] = library * 1e3;
  state.counters["reader_ms"] = reader * 1e3;
  state.counters["ratio"] = reader / library;
}

BENCHMARK(BM_LibjpegToBuffer)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JpegImageToRaster)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReaderOverLibjpeg)->Unit(benchmark::kMillisecond)->Iterations(12);

}  // namespace

BENCHMARK_MAIN();
