// The halftone reduction of a large photo-sized raster against a plain pass
// that only reads and sums every source byte: the reduction should reach at
// least a third of that pass's throughput.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "raster/raster.h"
#include "raster/reduce.h"

namespace {

constexpr int kSourceWidth = 6000;
constexpr int kSourceHeight = 4000;
constexpr int kOutputWidth = 2047;
constexpr int kOutputHeight = 1365;

// A Bits24 source with varied content (a cheap pseudo-random fill), made once.
const tolvane::Raster& Source() {
  static const tolvane::Raster source = [] {
    tolvane::StoreLayout layout;
    layout.width = kSourceWidth;
    layout.height = kSourceHeight;
    layout.bitsPerPixel = 24;
    tolvane::Raster r;
    r.CreateIndependent(layout);
    std::uint32_t state = 12345;
    for (std::uint8_t& b : r.MutableStore()) {
      state = state * 1664525u + 1013904223u;
      b = static_cast<std::uint8_t>(state >> 24);
    }
    return r;
  }();
  return source;
}

void BM_ReduceHalftone(benchmark::State& state) {
  const tolvane::Raster& source = Source();
  tolvane::Raster output;
  output.SetWidth(kOutputWidth);
  output.SetHeight(kOutputHeight);
  for (auto _ : state) {
    tolvane::ReduceHalftone(source, output);
    benchmark::DoNotOptimize(output.Store().data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.Store().size()));
}

void BM_SumSourceBytes(benchmark::State& state) {
  const tolvane::Raster& source = Source();
  const auto bytes = source.Store();
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (const std::uint8_t b : bytes) sum += b;
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

BENCHMARK(BM_SumSourceBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceHalftone)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
