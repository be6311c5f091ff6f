// What the libraries alone cost for one conversion: the floor under which no
// converter built on them can go on one core.
//
//   floor FILE      times the work the dependencies do for FILE and prints
//                   "wall S cpu S system S" (seconds, CPU = user + system),
//                   then wall and CPU for the decode and the deflate alone,
//                   and the compressed size, on one line
//   floor --size FILE   prints the input's size and the reduced size,
//                   "W x H -> NW x NH" (0 x 0 when FILE is not reduced)
//
// By extension:
//   .jpg .jpeg  reading the file, libjpeg's decode with the converter's
//               parameters (scale 1/1, block smoothing on, float IDCT, RGB
//               out, into one image buffer), then deflate of the output rows
//   .png        reading the file, zlib's inflate of the IDAT data into one
//               image buffer, then deflate of the output rows (Adam7 passes
//               for an Adam7 input, as the converter keeps the input's
//               interlace method)
//   .tif .tiff  libtiff's decode of every strip into one image buffer, then
//               deflate
//   .bmp        reading the file; BMP output has nothing to compress
//
// "Deflate of the output rows" is zlib at level 7 with default parameters over
// the reduced image's scan lines filtered with Sub, each line fed as its filter
// byte and then its bytes with Z_NO_FLUSH into 65535-byte output buffers, as
// the PNG encoder does. The reduced pixels are the exact area average of the
// decoded image, made outside the timed part: the reduction is the converter's own
// work, but deflate must see rows like the ones it will really get.
//
// A converter that shows the picture must hold the decoded image, so every
// decode goes into one buffer the size of the image, made as the converter
// makes its pixel store (a ByteBlock: fresh pages, first touched when the
// decoder writes them). What fresh memory costs the system is thus in the
// floor as it is in the converter.

#include <sys/resource.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "support/byte_block.h"
#include "support/exact.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kMaxSide = 2048;

struct Size {
  int width = 0;
  int height = 0;
};

// The converter's size rule, with its exact extended arithmetic.
Size ReducedSize(int width, int height) {
  if (height <= kMaxSide && width <= kMaxSide) return {};
  const int longer = height > width ? height : width;
  const double ratio = tolvane::exact::QuotientAsDouble(kMaxSide, longer);
  return {static_cast<int>(tolvane::exact::TruncProduct(width, ratio)),
          static_cast<int>(tolvane::exact::TruncProduct(height, ratio))};
}

// An 8-bit image with 3 or 4 channels, top row first.
struct Image {
  int width = 0;
  int height = 0;
  int channels = 3;
  tolvane::ByteBlock pixels;
};

class Stopwatch {
 public:
  void Start() {
    wallStart_ = std::chrono::steady_clock::now();
    start_ = Usage();
  }
  void Stop() {
    wall_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart_).count();
    const CpuTimes now = Usage();
    user_ += now.user - start_.user;
    system_ += now.system - start_.system;
  }
  double Wall() const { return wall_; }
  double Cpu() const { return user_ + system_; }
  double System() const { return system_; }

 private:
  struct CpuTimes {
    double user = 0;
    double system = 0;
  };
  static CpuTimes Usage() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
  }
  std::chrono::steady_clock::time_point wallStart_;
  CpuTimes start_;
  double wall_ = 0;
  double user_ = 0;
  double system_ = 0;
};

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

std::string LowerExtension(const std::string& path) {
  const auto dot = path.find_last_of('.');
  const auto slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && slash > dot)) return "";
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return extension;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) Fail("cannot open " + path);
  const auto size = static_cast<std::size_t>(in.tellg());
  Bytes data(size);
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(size))) {
    Fail("cannot read " + path);
  }
  return data;
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// zlib streams that end themselves on every way out.
struct Inflater {
  z_stream stream{};
  Inflater() {
    if (inflateInit(&stream) != Z_OK) Fail("inflateInit failed");
  }
  ~Inflater() { inflateEnd(&stream); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
};

struct Deflater {
  z_stream stream{};
  explicit Deflater(int level) {
    if (deflateInit(&stream, level) != Z_OK) Fail("deflateInit failed");
  }
  ~Deflater() { deflateEnd(&stream); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;
};

// ---- JPEG -----------------------------------------------------------------

Size JpegSize(const Bytes& file) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&info, TRUE);
  const Size size{static_cast<int>(info.image_width), static_cast<int>(info.image_height)};
  jpeg_destroy_decompress(&info);
  return size;
}

// libjpeg's default error manager reports and exits, which is all a
// measuring tool needs.
Image DecodeJpeg(const Bytes& file) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&info, TRUE);
  info.scale_num = 1;
  info.scale_denom = 1;
  info.do_block_smoothing = TRUE;
  info.dct_method = JDCT_FLOAT;
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  Image image;
  image.width = static_cast<int>(info.output_width);
  image.height = static_cast<int>(info.output_height);
  image.channels = 3;
  const std::size_t stride = std::size_t{info.output_width} * 3;
  image.pixels = tolvane::ByteBlock::Zeroed(stride * info.output_height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = image.pixels.data() + stride * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return image;
}

// ---- PNG ------------------------------------------------------------------

struct PngLayout {
  int width = 0;
  int height = 0;
  int channels = 0;
  bool adam7 = false;
};

// The seven Adam7 passes: first column, first row, column step, row step.
constexpr std::array<std::array<int, 4>, 7> kAdam7 = {{{0, 0, 8, 8},
                                                       {4, 0, 8, 8},
                                                       {0, 4, 4, 8},
                                                       {2, 0, 4, 4},
                                                       {0, 2, 2, 4},
                                                       {1, 0, 2, 2},
                                                       {0, 1, 1, 2}}};

int PassExtent(int size, int first, int step) {
  return size > first ? (size - first + step - 1) / step : 0;
}

// The scan lines of an image, as (width, height) of each pass.
std::vector<Size> Passes(int width, int height, bool adam7) {
  if (!adam7) return {{width, height}};
  std::vector<Size> passes;
  for (const auto& p : kAdam7) {
    passes.push_back({PassExtent(width, p[0], p[2]), PassExtent(height, p[1], p[3])});
  }
  return passes;
}

std::size_t FilteredBytes(const std::vector<Size>& passes, int channels) {
  std::size_t total = 0;
  for (const Size& pass : passes) {
    if (pass.width == 0) continue;
    total += (std::size_t{1} +
              static_cast<std::size_t>(pass.width) * static_cast<std::size_t>(channels)) *
             static_cast<std::size_t>(pass.height);
  }
  return total;
}

PngLayout ReadPngHeader(const Bytes& file) {
  static constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  if (file.size() < 33 || std::memcmp(file.data(), kSignature, 8) != 0 ||
      std::memcmp(file.data() + 12, "IHDR", 4) != 0) {
    Fail("not a PNG file");
  }
  const std::uint8_t* ihdr = file.data() + 16;
  const int colorType = ihdr[9];
  if (ihdr[8] != 8 || (colorType != 2 && colorType != 6))
    Fail("only 8-bit RGB or RGBA PNG is measured");
  return {static_cast<int>(BigEndian32(ihdr)), static_cast<int>(BigEndian32(ihdr + 4)),
          colorType == 2 ? 3 : 4, ihdr[12] == 1};
}

// Inflates the IDAT chunks' data as it stands in the file, chunk by chunk,
// into one buffer that holds the image's filtered scan lines: the image
// itself, one filter byte a line aside. The chunk walk is timed with it: it
// cannot be avoided, and costs next to nothing.
tolvane::ByteBlock InflateIdat(const Bytes& file, std::size_t expected) {
  tolvane::ByteBlock out = tolvane::ByteBlock::Zeroed(expected);
  Inflater inflater;
  z_stream& stream = inflater.stream;
  int result = Z_OK;
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  for (std::size_t at = 8; at + 12 <= file.size() && result != Z_STREAM_END;) {
    const std::size_t length = BigEndian32(file.data() + at);
    if (length > file.size() - at - 12) Fail("truncated PNG chunk");
    if (std::memcmp(file.data() + at + 4, "IDAT", 4) == 0) {
      stream.next_in = const_cast<Bytef*>(file.data() + at + 8);
      stream.avail_in = static_cast<uInt>(length);
      while (stream.avail_in > 0 && result != Z_STREAM_END) {
        if (stream.avail_out == 0) Fail("the PNG image data inflates to more than its size");
        result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END) Fail("the PNG image data does not inflate");
      }
    }
    at += length + 12;
  }
  if (result != Z_STREAM_END || stream.avail_out != 0)
    Fail("the PNG image data does not inflate to its size");
  return out;
}

std::uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a);
  const int pb = std::abs(p - b);
  const int pc = std::abs(p - c);
  return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Undoes the filters and the interlacing: only to get the pixels that the
// reduced rows are made of, outside the timed part.
Image UnfilterPng(const PngLayout& layout, const tolvane::ByteBlock& filtered) {
  Image image{layout.width, layout.height, layout.channels, {}};
  const int bpp = layout.channels;
  image.pixels =
      tolvane::ByteBlock::Zeroed(static_cast<std::size_t>(layout.width) * layout.height * bpp);
  const std::uint8_t* in = filtered.data();
  const auto passes = Passes(layout.width, layout.height, layout.adam7);
  for (std::size_t p = 0; p < passes.size(); ++p) {
    const Size pass = passes[p];
    if (pass.width == 0) continue;
    const std::size_t rowBytes = static_cast<std::size_t>(pass.width) * bpp;
    Bytes previous(rowBytes, 0);
    Bytes row(rowBytes);
    for (int y = 0; y < pass.height; ++y) {
      const std::uint8_t filter = *in++;
      for (std::size_t k = 0; k < rowBytes; ++k) {
        const int a = k >= static_cast<std::size_t>(bpp) ? row[k - bpp] : 0;
        const int b = previous[k];
        const int c = k >= static_cast<std::size_t>(bpp) ? previous[k - bpp] : 0;
        int predictor = 0;
        switch (filter) {
          case 1: predictor = a; break;
          case 2: predictor = b; break;
          case 3: predictor = (a + b) / 2; break;
          case 4: predictor = Paeth(a, b, c); break;
          default: break;
        }
        row[k] = static_cast<std::uint8_t>(in[k] + predictor);
      }
      in += rowBytes;
      const auto& origin = layout.adam7 ? kAdam7[p] : std::array<int, 4>{0, 0, 1, 1};
      const int imageY = origin[1] + y * origin[3];
      for (int x = 0; x < pass.width; ++x) {
        const int imageX = origin[0] + x * origin[2];
        std::memcpy(
            image.pixels.data() + (static_cast<std::size_t>(imageY) * layout.width + imageX) * bpp,
            row.data() + static_cast<std::size_t>(x) * bpp, static_cast<std::size_t>(bpp));
      }
      previous.swap(row);
    }
  }
  return image;
}

// ---- TIFF -----------------------------------------------------------------

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle OpenTiff(const std::string& path) {
  TiffHandle tiff(TIFFOpen(path.c_str(), "r"));
  if (!tiff) Fail("libtiff cannot open " + path);
  return tiff;
}

Size TiffSize(const std::string& path) {
  const TiffHandle tiff = OpenTiff(path);
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
  return {static_cast<int>(width), static_cast<int>(height)};
}

// Decodes every strip (or tile) of the first page as it is stored; contiguous
// 8-bit RGB(A) strips are the image itself.
Image DecodeTiff(const std::string& path) {
  const TiffHandle tiff = OpenTiff(path);
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t samples = 0;
  std::uint16_t bits = 0;
  std::uint16_t planar = PLANARCONFIG_CONTIG;
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &planar);
  if (bits != 8 || (samples != 3 && samples != 4) || planar != PLANARCONFIG_CONTIG ||
      TIFFIsTiled(tiff.get())) {
    Fail("only 8-bit contiguous RGB(A) TIFF in strips is measured");
  }
  Image image{static_cast<int>(width), static_cast<int>(height), samples, {}};
  image.pixels = tolvane::ByteBlock::Zeroed(std::size_t{width} * height * samples);
  const tstrip_t strips = TIFFNumberOfStrips(tiff.get());
  const tmsize_t stripSize = TIFFStripSize(tiff.get());
  std::size_t at = 0;
  for (tstrip_t strip = 0; strip < strips; ++strip) {
    const tmsize_t room = static_cast<tmsize_t>(image.pixels.size() - at);
    const tmsize_t got = TIFFReadEncodedStrip(tiff.get(), strip, image.pixels.data() + at,
                                              std::min(stripSize, room));
    if (got < 0) Fail("libtiff cannot decode strip " + std::to_string(strip));
    at += static_cast<std::size_t>(got);
  }
  return image;
}

// ---- BMP ------------------------------------------------------------------

Size BmpSize(const Bytes& file) {
  if (file.size() < 26 || file[0] != 'B' || file[1] != 'M') Fail("not a BMP file");
  auto le32 = [&](std::size_t at) {
    return static_cast<std::int32_t>(std::uint32_t{file[at]} | std::uint32_t{file[at + 1]} << 8 |
                                     std::uint32_t{file[at + 2]} << 16 |
                                     std::uint32_t{file[at + 3]} << 24);
  };
  const std::int32_t height = le32(22);
  return {le32(18), height < 0 ? -height : height};
}

// ---- the output rows --------------------------------------------------------

// The source pixels one output pixel covers along one axis, and how much of
// each: the exact area average's weights, which add up to 1.
struct Taps {
  int first = 0;
  std::vector<double> weights;
};

std::vector<Taps> AreaTaps(int source, int target) {
  std::vector<Taps> all(static_cast<std::size_t>(target));
  const double scale = static_cast<double>(source) / target;
  for (int i = 0; i < target; ++i) {
    const double low = i * scale;
    const double high = std::min<double>(source, (i + 1) * scale);
    Taps& taps = all[static_cast<std::size_t>(i)];
    taps.first = static_cast<int>(low);
    for (int s = taps.first; s < source && s < high; ++s) {
      taps.weights.push_back((std::min<double>(high, s + 1) - std::max<double>(low, s)) / scale);
    }
  }
  return all;
}

// The exact area average of the colour channels (alpha dropped: the
// converter writes RGB), so that deflate sees rows like the converter's own.
Image AreaAverage(const Image& source, Size target) {
  Image out{target.width, target.height, 3, {}};
  out.pixels =
      tolvane::ByteBlock::Zeroed(static_cast<std::size_t>(target.width) * target.height * 3);
  const auto columns = AreaTaps(source.width, target.width);
  const auto rows = AreaTaps(source.height, target.height);
  std::vector<double> sum(static_cast<std::size_t>(target.width) * 3);
  for (int y = 0; y < target.height; ++y) {
    std::fill(sum.begin(), sum.end(), 0.0);
    const Taps& rowTaps = rows[static_cast<std::size_t>(y)];
    for (std::size_t r = 0; r < rowTaps.weights.size(); ++r) {
      const std::size_t sourceRow = static_cast<std::size_t>(rowTaps.first) + r;
      const std::uint8_t* line = source.pixels.data() + sourceRow * source.width * source.channels;
      for (int x = 0; x < target.width; ++x) {
        const Taps& taps = columns[static_cast<std::size_t>(x)];
        double pixel[3] = {0, 0, 0};
        for (std::size_t k = 0; k < taps.weights.size(); ++k) {
          const std::uint8_t* p =
              line + (static_cast<std::size_t>(taps.first) + k) * source.channels;
          for (int c = 0; c < 3; ++c) pixel[c] += taps.weights[k] * p[c];
        }
        for (int c = 0; c < 3; ++c)
          sum[static_cast<std::size_t>(x) * 3 + c] += rowTaps.weights[r] * pixel[c];
      }
    }
    std::uint8_t* o = out.pixels.data() + static_cast<std::size_t>(y) * target.width * 3;
    for (std::size_t k = 0; k < sum.size(); ++k) {
      o[k] = static_cast<std::uint8_t>(std::clamp(sum[k] + 0.5, 0.0, 255.0));
    }
  }
  return out;
}

// The scan lines deflate is fed: filter byte 1 and the Sub-filtered row, pass
// by pass for Adam7. Made before the clock starts, as the encoder filters each
// row just before it hands it on.
std::vector<Bytes> SubFilteredLines(const Image& image, bool adam7) {
  std::vector<Bytes> lines;
  const auto passes = Passes(image.width, image.height, adam7);
  for (std::size_t p = 0; p < passes.size(); ++p) {
    const Size pass = passes[p];
    if (pass.width == 0) continue;
    const auto& origin = adam7 ? kAdam7[p] : std::array<int, 4>{0, 0, 1, 1};
    for (int y = 0; y < pass.height; ++y) {
      Bytes raw(static_cast<std::size_t>(pass.width) * 3);
      const int imageY = origin[1] + y * origin[3];
      for (int x = 0; x < pass.width; ++x) {
        const int imageX = origin[0] + x * origin[2];
        std::memcpy(
            raw.data() + static_cast<std::size_t>(x) * 3,
            image.pixels.data() + (static_cast<std::size_t>(imageY) * image.width + imageX) * 3, 3);
      }
      Bytes line(raw.size());
      for (std::size_t k = 0; k < raw.size(); ++k) {
        line[k] = static_cast<std::uint8_t>(raw[k] - (k >= 3 ? raw[k - 3] : 0));
      }
      lines.push_back(std::move(line));
    }
  }
  return lines;
}

// Returns the compressed size, so that the work cannot be optimised away.
std::size_t DeflateLines(const std::vector<Bytes>& lines) {
  Deflater deflater(7);
  z_stream& stream = deflater.stream;
  Bytes buffer(65535);
  std::size_t total = 0;
  stream.next_out = buffer.data();
  stream.avail_out = static_cast<uInt>(buffer.size());
  // With Z_NO_FLUSH deflate takes all its input unless the output buffer
  // fills; a full buffer is what the encoder writes out as one IDAT chunk.
  auto feed = [&](const std::uint8_t* data, std::size_t size, int flush) {
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    int result = Z_OK;
    do {
      if (stream.avail_out == 0) {
        total += buffer.size();
        stream.next_out = buffer.data();
        stream.avail_out = static_cast<uInt>(buffer.size());
      }
      result = deflate(&stream, flush);
      if (result == Z_STREAM_ERROR) Fail("deflate failed");
    } while (stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
  };
  static constexpr std::uint8_t kSub = 1;
  for (const Bytes& line : lines) {
    feed(&kSub, 1, Z_NO_FLUSH);
    feed(line.data(), line.size(), Z_NO_FLUSH);
  }
  feed(nullptr, 0, Z_FINISH);
  total += buffer.size() - stream.avail_out;
  return total;
}

// ---- the floor of each input ----------------------------------------------

// The two parts of the floor: reading and decoding the input, and deflating
// the output rows.
struct Floor {
  Stopwatch decode;
  Stopwatch deflate;
  std::size_t compressed = 0;
};

void MeasureDeflate(Floor& floor, const Image& decoded, bool adam7) {
  const Size target = ReducedSize(decoded.width, decoded.height);
  if (target.width <= 0 || target.height <= 0) return;
  const auto lines = SubFilteredLines(AreaAverage(decoded, target), adam7);
  floor.deflate.Start();
  floor.compressed = DeflateLines(lines);
  floor.deflate.Stop();
}

Floor MeasureJpeg(const std::string& path) {
  Floor floor;
  floor.decode.Start();
  const Bytes file = ReadFile(path);
  const Image decoded = DecodeJpeg(file);
  floor.decode.Stop();
  MeasureDeflate(floor, decoded, false);
  return floor;
}

Floor MeasurePng(const std::string& path) {
  Floor floor;
  floor.decode.Start();
  const Bytes file = ReadFile(path);
  const PngLayout layout = ReadPngHeader(file);
  const std::size_t expected =
      FilteredBytes(Passes(layout.width, layout.height, layout.adam7), layout.channels);
  const tolvane::ByteBlock filtered = InflateIdat(file, expected);
  floor.decode.Stop();
  MeasureDeflate(floor, UnfilterPng(layout, filtered), layout.adam7);
  return floor;
}

Floor MeasureTiff(const std::string& path) {
  Floor floor;
  floor.decode.Start();
  const Image decoded = DecodeTiff(path);
  floor.decode.Stop();
  MeasureDeflate(floor, decoded, false);
  return floor;
}

// BMP output is written as it is: there is nothing for a library to do.
Floor MeasureBmp(const std::string& path) {
  Floor floor;
  floor.decode.Start();
  const Bytes file = ReadFile(path);
  floor.decode.Stop();
  return floor;
}

Size InputSize(const std::string& path) {
  const std::string extension = LowerExtension(path);
  if (extension == ".jpg" || extension == ".jpeg") return JpegSize(ReadFile(path));
  if (extension == ".png") {
    const PngLayout layout = ReadPngHeader(ReadFile(path));
    return {layout.width, layout.height};
  }
  if (extension == ".tif" || extension == ".tiff") return TiffSize(path);
  if (extension == ".bmp") return BmpSize(ReadFile(path));
  Fail("unhandled extension: " + path);
}

Floor Measure(const std::string& path) {
  const std::string extension = LowerExtension(path);
  if (extension == ".jpg" || extension == ".jpeg") return MeasureJpeg(path);
  if (extension == ".png") return MeasurePng(path);
  if (extension == ".tif" || extension == ".tiff") return MeasureTiff(path);
  if (extension == ".bmp") return MeasureBmp(path);
  Fail("unhandled extension: " + path);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--size") {
      const Size input = InputSize(args[1]);
      const Size target = ReducedSize(input.width, input.height);
      std::printf("%d x %d -> %d x %d\n", input.width, input.height, target.width, target.height);
      return 0;
    }
    if (args.size() != 1) {
      std::fprintf(stderr, "usage: floor FILE | floor --size FILE\n");
      return 2;
    }
    const Floor floor = Measure(args[0]);
    std::printf(
        "wall %.6f cpu %.6f system %.6f decode-wall %.6f decode-cpu %.6f deflate-wall %.6f "
        "deflate-cpu %.6f "
        "deflated %zu\n",
        floor.decode.Wall() + floor.deflate.Wall(), floor.decode.Cpu() + floor.deflate.Cpu(),
        floor.decode.System() + floor.deflate.System(), floor.decode.Wall(), floor.decode.Cpu(),
        floor.deflate.Wall(), floor.deflate.Cpu(), floor.compressed);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "floor: %s\n", error.what());
    return 1;
  }
}
