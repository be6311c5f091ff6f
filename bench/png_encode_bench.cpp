// Encoding a 5120 x 2880 RGB picture with the PNG encoder, against zlib's
// deflate alone (level 7) over the same filtered rows held in memory. The
// encoder adds the filtering, the chunking, the CRCs and the file writes; it
// must stay within 1.10 x deflate alone.

#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "formats/png/png_encoder.h"

namespace {

constexpr std::uint32_t kWidth = 5120;
constexpr std::uint32_t kHeight = 2880;
constexpr std::size_t kRowBytes = std::size_t{kWidth} * 3;

// Smooth gradients and soft shapes with a little sensor-like noise: compresses
// the way a photo or a rendering does, neither like noise nor like a flat fill.
std::vector<std::uint8_t> MakePicture() {
  std::vector<std::uint8_t> pixels(kRowBytes * kHeight);
  std::mt19937 random(2024);
  for (std::uint32_t y = 0; y < kHeight; ++y) {
    std::uint8_t* row = pixels.data() + y * kRowBytes;
    for (std::uint32_t x = 0; x < kWidth; ++x) {
      const int noise = static_cast<int>(random() % 7) - 3;
      const int dx = static_cast<int>(x) - 2560;
      const int dy = static_cast<int>(y) - 1440;
      const int ring = ((dx * dx + dy * dy) >> 12) & 63;
      row[3 * x] = static_cast<std::uint8_t>(x * 255 / kWidth + noise);
      row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / kHeight + ring + noise);
      row[3 * x + 2] = static_cast<std::uint8_t>((x + y) / 32 + noise / 2);
    }
  }
  return pixels;
}

const std::vector<std::uint8_t>& Picture() {
  static const std::vector<std::uint8_t> picture = MakePicture();
  return picture;
}

// The scan lines as the encoder hands them to deflate: filter byte 1 (Sub)
// and the filtered row, for every row.
const std::vector<std::uint8_t>& FilteredStream() {
  static const std::vector<std::uint8_t> stream = [] {
    const auto& pixels = Picture();
    std::vector<std::uint8_t> out;
    out.reserve((kRowBytes + 1) * kHeight);
    for (std::uint32_t y = 0; y < kHeight; ++y) {
      const std::uint8_t* raw = pixels.data() + y * kRowBytes;
      out.push_back(1);
      for (std::size_t k = 0; k < kRowBytes; ++k) {
        out.push_back(static_cast<std::uint8_t>(raw[k] - (k >= 3 ? raw[k - 3] : 0)));
      }
    }
    return out;
  }();
  return stream;
}

class TempFolder {
 public:
  TempFolder()
      : path_(std::filesystem::temp_directory_path() /
              ("tolvane-bench-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void Encode(const std::string& path) {
  const auto& pixels = Picture();
  const tolvane::png::ImageHeader header{kWidth, kHeight, 8, 2, 0};
  tolvane::AtomicOutputFile out(path);
  tolvane::png::WriteImageData(out, header, [&](int y) {
    return std::span<const std::uint8_t>(pixels.data() + static_cast<std::size_t>(y) * kRowBytes,
                                         kRowBytes);
  });
  out.Commit();
}

std::size_t DeflateAlone(std::vector<std::uint8_t>& output) {
  const auto& input = FilteredStream();
  z_stream z{};
  deflateInit(&z, 7);
  z.next_in = const_cast<Bytef*>(input.data());
  z.avail_in = static_cast<uInt>(input.size());
  z.next_out = output.data();
  z.avail_out = static_cast<uInt>(output.size());
  deflate(&z, Z_FINISH);
  const std::size_t size = z.total_out;
  deflateEnd(&z);
  return size;
}

std::vector<std::uint8_t> DeflateOutputBuffer() {
  return std::vector<std::uint8_t>(compressBound(static_cast<uLong>(FilteredStream().size())));
}

void BM_EncodeImageData(benchmark::State& state) {
  Picture();
  TempFolder folder;
  for (auto _ : state) Encode(folder.File("out.png"));
  state.counters["file_bytes"] =
      static_cast<double>(std::filesystem::file_size(folder.File("out.png")));
}

void BM_DeflateAlone(benchmark::State& state) {
  std::vector<std::uint8_t> output = DeflateOutputBuffer();
  std::size_t size = 0;
  for (auto _ : state) benchmark::DoNotOptimize(size = DeflateAlone(output));
  state.counters["zlib_bytes"] = static_cast<double>(size);
}

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Both in every iteration, one after the other, so that the load of a shared
// machine weighs on them alike; the ratios are the figures that count, the CPU
// one being the steadier when other work competes for the cores.
void BM_EncoderOverDeflate(benchmark::State& state) {
  std::vector<std::uint8_t> output = DeflateOutputBuffer();
  TempFolder folder;
  using Clock = std::chrono::steady_clock;
  double encoderSeconds = 0;
  double deflateSeconds = 0;
  double encoderCpu = 0;
  double deflateCpu = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const double startCpu = ThreadCpuSeconds();
    Encode(folder.File("out.png"));
    const auto middle = Clock::now();
    const double middleCpu = ThreadCpuSeconds();
    benchmark::DoNotOptimize(DeflateAlone(output));
    const auto end = Clock::now();
    const double endCpu = ThreadCpuSeconds();
    encoderSeconds += std::chrono::duration<double>(middle - start).count();
    deflateSeconds += std::chrono::duration<double>(end - middle).count();
    encoderCpu += middleCpu - startCpu;
    deflateCpu += endCpu - middleCpu;
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["encoder_ms"] = encoderSeconds / n * 1000;
  state.counters["deflate_ms"] = deflateSeconds / n * 1000;
  state.counters["ratio"] = encoderSeconds / deflateSeconds;
  state.counters["encoder_cpu_ms"] = encoderCpu / n * 1000;
  state.counters["deflate_cpu_ms"] = deflateCpu / n * 1000;
  state.counters["cpu_ratio"] = encoderCpu / deflateCpu;
}

BENCHMARK(BM_EncodeImageData)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_DeflateAlone)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_EncoderOverDeflate)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(4);

}  // namespace

BENCHMARK_MAIN();
