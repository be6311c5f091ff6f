// Decoding a large RGB PNG with LoadPng against zlib's inflate alone over
// the same compressed stream; the decoder should stay within 1.5 x inflate.
// Two files: every row filtered with Sub, as this program writes them, and
// rows filtered like a typical photograph's from other encoders (Paeth for
// half of them, then Average, Sub and a few Up). Then the unfiltering of one
// line alone, by filter and instruction set.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/png/png_image.h"
#include "formats/png/png_unfilter.h"

namespace {

constexpr int kWidth = 5120;
constexpr int kHeight = 2880;

void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutChunk(std::vector<std::uint8_t>& file, const char* type, const std::uint8_t* data,
              std::size_t size) {
  PutBe32(file, static_cast<std::uint32_t>(size));
  const std::size_t start = file.size();
  file.insert(file.end(), type, type + 4);
  file.insert(file.end(), data, data + size);
  PutBe32(file,
          static_cast<std::uint32_t>(crc32(0, file.data() + start, static_cast<uInt>(size + 4))));
}

// The filter of the PNG standard, for making the files.
std::uint8_t Predict(int type, int a, int b, int c) {
  switch (type) {
    case 1: return static_cast<std::uint8_t>(a);
    case 2: return static_cast<std::uint8_t>(b);
    case 3: return static_cast<std::uint8_t>((a + b) / 2);
    case 4: {
      const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
      return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
    }
    default: return 0;
  }
}

// A photograph-like RGB line: smooth gradients with a little noise.
void PhotoLine(int y, std::uint32_t& seed, std::vector<std::uint8_t>& row) {
  const int width = static_cast<int>(row.size() / 3);
  for (int x = 0; x < width; ++x) {
    seed = seed * 1103515245u + 12345u;
    const int noise = static_cast<int>((seed >> 16) & 7) - 3;
    row[3 * x] = static_cast<std::uint8_t>((x / 20 + y / 30 + noise) & 0xFF);
    row[3 * x + 1] = static_cast<std::uint8_t>((x / 17 + noise) & 0xFF);
    row[3 * x + 2] = static_cast<std::uint8_t>((y / 11 + 2 * noise) & 0xFF);
  }
}

// The photograph-like image with each row filtered by filterOf(y),
// compressed at level 7.
struct Fixture {
  std::vector<std::uint8_t> stream;
  std::string path;

  explicit Fixture(int (*filterOf)(int y)) {
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<std::size_t>(kHeight) * (3 * kWidth + 1));
    std::uint32_t seed = 12345;
    std::vector<std::uint8_t> row(3 * kWidth), above(3 * kWidth);
    for (int y = 0; y < kHeight; ++y) {
      PhotoLine(y, seed, row);
      const int type = filterOf(y);
      raw.push_back(static_cast<std::uint8_t>(type));
      for (int i = 0; i < 3 * kWidth; ++i) {
        const int a = i >= 3 ? row[i - 3] : 0, c = i >= 3 ? above[i - 3] : 0;
        raw.push_back(static_cast<std::uint8_t>(row[i] - Predict(type, a, above[i], c)));
      }
      row.swap(above);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    stream.resize(size);
    if (compress2(stream.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 7) != Z_OK) {
      throw std::runtime_error("compress2 failed");
    }
    stream.resize(size);

    std::vector<std::uint8_t> file = {137, 80, 78, 71, 13, 10, 26, 10};
    std::vector<std::uint8_t> ihdr;
    PutBe32(ihdr, kWidth);
    PutBe32(ihdr, kHeight);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    PutChunk(file, "IHDR", ihdr.data(), ihdr.size());
    for (std::size_t p = 0; p < stream.size(); p += 65535) {
      PutChunk(file, "IDAT", stream.data() + p, std::min<std::size_t>(65535, stream.size() - p));
    }
    PutChunk(file, "IEND", nullptr, 0);

    char name[] = "/tmp/tolvane-png-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0 || write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size())) {
      throw std::runtime_error("cannot write the benchmark file");
    }
    close(fd);
    path = name;
  }
  ~Fixture() { std::remove(path.c_str()); }
};

const Fixture& SubRows() {
  static const Fixture fixture([](int) { return 1; });
  return fixture;
}

// Paeth 52 %, Average 25 %, Sub 20 %, Up 3 % of every 100 rows, shuffled.
const Fixture& MixedRows() {
  static const Fixture fixture([](int y) {
    const int slot = (37 * y + 11) % 100;
    return slot < 52 ? 4 : slot < 77 ? 3 : slot < 97 ? 1 : 2;
  });
  return fixture;
}

void BM_LoadPng(benchmark::State& state, const Fixture& (*fixtureOf)()) {
  const Fixture& fixture = fixtureOf();
  for (auto _ : state) {
    tolvane::PngImage image;
    image.LoadPng(fixture.path);
    benchmark::DoNotOptimize(image.Width());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight * 3);
}

void BM_InflateOnly(benchmark::State& state, const Fixture& (*fixtureOf)()) {
  const Fixture& fixture = fixtureOf();
  std::vector<std::uint8_t> out(64 * 1024);
  for (auto _ : state) {
    z_stream z{};
    inflateInit(&z);
    z.next_in = const_cast<Bytef*>(fixture.stream.data());
    z.avail_in = static_cast<uInt>(fixture.stream.size());
    int result = Z_OK;
    while (result == Z_OK) {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      result = inflate(&z, Z_NO_FLUSH);
    }
    benchmark::DoNotOptimize(z.total_out);
    inflateEnd(&z);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight * 3);
}

// One line of the image's width: unfiltered straight into blue-green-red
// (8-bit RGB), or in place with 4-byte pixels (8-bit RGBA).
void BM_UnfilterLine(benchmark::State& state) {
  const auto type = static_cast<std::uint8_t>(state.range(0));
  const auto bpp = static_cast<std::size_t>(state.range(1));
  const auto level = static_cast<tolvane::png::SimdLevel>(state.range(2));
  if (level > tolvane::png::BestSimdLevel()) {
    state.SkipWithError("this processor lacks the instruction set");
    return;
  }
  const std::size_t n = bpp * kWidth;
  std::uint32_t seed = 99;
  std::vector<std::uint8_t> above(n), line(n), out(n);
  for (std::size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    above[i] = static_cast<std::uint8_t>(i / 40 + (seed >> 28));
    line[i] = static_cast<std::uint8_t>(seed >> 29);
  }
  for (auto _ : state) {
    if (bpp == 3) {
      tolvane::png::UnfilterRgbToBgr(type, line.data(), above.data(), out.data(), kWidth, level);
    } else {
      out = line;
      tolvane::png::Unfilter(type, out.data(), above.data(), n, bpp, level);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(n));
}

BENCHMARK_CAPTURE(BM_InflateOnly, sub_rows, SubRows)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadPng, sub_rows, SubRows)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InflateOnly, mixed_rows, MixedRows)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadPng, mixed_rows, MixedRows)->Unit(benchmark::kMillisecond);
// Levels: 0 scalar, 1 SSE2, 2 SSE4.1.
BENCHMARK(BM_UnfilterLine)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {3, 4}, {0, 1, 2}})
    ->ArgNames({"filter", "bpp", "level"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
