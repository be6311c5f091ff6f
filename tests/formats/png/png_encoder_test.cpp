#include "formats/png/png_encoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/error.h"
#include "support/messages.h"
#include "tests/support/platform.h"
#include "tests/support/test_support.h"

#ifdef TOLVANE_DEFLATE_WRAPPED
// The test is linked with --wrap=deflate: every deflate call, the encoder's
// included, passes through here, so the inputs and flushes can be seen.
namespace {

struct DeflateCall {
  int flush;
  std::size_t newInput;  // size of an input that starts with this call, or 0
};

bool recordDeflate = false;
std::vector<DeflateCall> deflateCalls;
const Bytef* inputEnd = nullptr;

}  // namespace

extern "C" int __real_deflate(z_streamp strm, int flush);
extern "C" int __wrap_deflate(z_streamp strm, int flush) {
  if (recordDeflate) {
    const bool fresh = strm->avail_in > 0 && strm->next_in != inputEnd;
    deflateCalls.push_back({flush, fresh ? std::size_t{strm->avail_in} : 0});
  }
  const int result = __real_deflate(strm, flush);
  inputEnd = strm->next_in;
  return result;
}
#endif

namespace tolvane::png {
namespace {

using Bytes = std::vector<std::uint8_t>;
using tolvane::testing::TempDir;

// An image as rows of raw PNG bytes.
struct Image {
  ImageHeader header;
  std::vector<Bytes> rows;
};

int ChannelsOf(int colorType) {
  switch (colorType) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    default: return 4;
  }
}

int BitsPerPixel(const ImageHeader& h) { return h.bitDepth * ChannelsOf(h.colorType); }
std::size_t LineBytes(std::uint32_t width, int bits) { return (std::size_t{width} * bits + 7) / 8; }

Image MakeImage(std::uint32_t width, std::uint32_t height, int bitDepth, int colorType,
                int interlace, std::uint32_t seed) {
  Image image;
  image.header = {width, height, static_cast<std::uint8_t>(bitDepth),
                  static_cast<std::uint8_t>(colorType), static_cast<std::uint8_t>(interlace)};
  std::mt19937 random(seed);
  // The padding bits of sub-byte rows are left random on purpose.
  for (std::uint32_t y = 0; y < height; ++y) {
    Bytes row(LineBytes(width, BitsPerPixel(image.header)));
    for (auto& b : row) b = static_cast<std::uint8_t>(random());
    image.rows.push_back(std::move(row));
  }
  return image;
}

// A compressible picture: gradients with a little noise.
Image MakeSmoothRgb(std::uint32_t width, std::uint32_t height, int interlace) {
  Image image = MakeImage(width, height, 8, 2, interlace, 1);
  std::mt19937 random(7);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const unsigned noise = random() % 4;
      image.rows[y][3 * x] = static_cast<std::uint8_t>(x + noise);
      image.rows[y][3 * x + 1] = static_cast<std::uint8_t>(y / 2 + noise);
      image.rows[y][3 * x + 2] = static_cast<std::uint8_t>((x + y) / 3);
    }
  }
  return image;
}

unsigned SampleAt(const Bytes& row, std::size_t index, int bits) {
  const std::size_t bit = index * bits;
  return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

void PutSample(Bytes& row, std::size_t index, int bits, unsigned value) {
  const std::size_t bit = index * bits;
  row[bit / 8] = static_cast<std::uint8_t>(row[bit / 8] | (value << (8 - bits - bit % 8)));
}

// The unfiltered scan lines an encoder must produce: the rows themselves, or
// the seven Adam7 passes built pixel by pixel.
std::vector<Bytes> ExpectedScanLines(const Image& image) {
  const ImageHeader& h = image.header;
  if (h.interlace == 0) return image.rows;
  struct Pass {
    std::uint32_t row, column, rowStep, columnStep;
  };
  const Pass passes[7] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                          {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};
  const int bits = BitsPerPixel(h);
  std::vector<Bytes> lines;
  for (const Pass& p : passes) {
    std::vector<std::uint32_t> columns;
    for (std::uint32_t x = p.column; x < h.width; x += p.columnStep) columns.push_back(x);
    if (columns.empty()) continue;
    for (std::uint32_t y = p.row; y < h.height; y += p.rowStep) {
      Bytes line(LineBytes(static_cast<std::uint32_t>(columns.size()), bits));
      for (std::size_t j = 0; j < columns.size(); ++j) {
        if (bits < 8) {
          PutSample(line, j, bits, SampleAt(image.rows[y], columns[j], bits));
        } else {
          const std::size_t n = bits / 8;
          std::memcpy(&line[j * n], &image.rows[y][columns[j] * n], n);
        }
      }
      lines.push_back(std::move(line));
    }
  }
  return lines;
}

std::size_t FilterUnit(const ImageHeader& h) {
  return std::max<std::size_t>(1, BitsPerPixel(h) / 8);
}

Bytes SubFiltered(const Bytes& raw, std::size_t bpp) {
  Bytes out(raw.size());
  for (std::size_t k = 0; k < raw.size(); ++k) {
    out[k] = static_cast<std::uint8_t>(raw[k] - (k >= bpp ? raw[k - bpp] : 0));
  }
  return out;
}

std::uint32_t Be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

struct Chunk {
  std::string type;
  Bytes data;
};

// Splits a PNG file into its chunks, checking the signature, every length
// and every CRC, and that nothing follows IEND.
std::vector<Chunk> ParseChunks(const Bytes& file) {
  std::vector<Chunk> chunks;
  EXPECT_GE(file.size(), 8u);
  EXPECT_EQ(0, std::memcmp(file.data(), kSignature, 8));
  std::size_t at = 8;
  while (at < file.size()) {
    if (file.size() - at < 12) {
      ADD_FAILURE() << "truncated chunk at " << at;
      break;
    }
    const std::uint32_t length = Be32(&file[at]);
    if (file.size() - at - 12 < length) {
      ADD_FAILURE() << "chunk overruns the file at " << at;
      break;
    }
    Chunk chunk{std::string(reinterpret_cast<const char*>(&file[at + 4]), 4),
                Bytes(file.begin() + at + 8, file.begin() + at + 8 + length)};
    const auto crc = static_cast<std::uint32_t>(crc32(0, &file[at + 4], 4 + length));
    EXPECT_EQ(crc, Be32(&file[at + 8 + length])) << chunk.type << " at " << at;
    chunks.push_back(std::move(chunk));
    at += 12 + length;
  }
  EXPECT_TRUE(!chunks.empty() && chunks.back().type == "IEND");
  return chunks;
}

Bytes IdatStream(const std::vector<Chunk>& chunks) {
  Bytes stream;
  for (const Chunk& c : chunks) {
    if (c.type == "IDAT") stream.insert(stream.end(), c.data.begin(), c.data.end());
  }
  return stream;
}

// Inflates a whole zlib stream, which must end exactly at its last byte.
Bytes Inflate(const Bytes& stream) {
  z_stream z{};
  EXPECT_EQ(Z_OK, inflateInit(&z));
  Bytes out;
  Bytes buffer(1 << 16);
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  int result = Z_OK;
  while (result == Z_OK) {
    z.next_out = buffer.data();
    z.avail_out = static_cast<uInt>(buffer.size());
    result = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), buffer.data(), z.next_out);
  }
  EXPECT_EQ(Z_STREAM_END, result);
  EXPECT_EQ(0u, z.avail_in) << "bytes after the end of the zlib stream";
  inflateEnd(&z);
  return out;
}

// What a deflate run fed exactly as the encoder must feed it produces: level 7,
// per scan line its filter byte and its filtered bytes as two inputs, flush 0,
// then Z_FINISH, all into one large buffer.
Bytes ReferenceDeflate(const std::vector<Bytes>& filteredLines) {
  z_stream z{};
  EXPECT_EQ(Z_OK, deflateInit(&z, 7));
  std::size_t total = 0;
  for (const Bytes& line : filteredLines) total += line.size() + 1;
  Bytes out(deflateBound(&z, total) + 1024);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const std::uint8_t sub = 1;
  for (const Bytes& line : filteredLines) {
    z.next_in = const_cast<Bytef*>(&sub);
    z.avail_in = 1;
    EXPECT_EQ(Z_OK, deflate(&z, Z_NO_FLUSH));
    z.next_in = const_cast<Bytef*>(line.data());
    z.avail_in = static_cast<uInt>(line.size());
    if (!line.empty()) {
      EXPECT_EQ(Z_OK, deflate(&z, Z_NO_FLUSH));
    }
    EXPECT_EQ(0u, z.avail_in);
  }
  EXPECT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Writes a whole PNG file of the image: signature, IHDR, the encoder's IDAT
// chunks, IEND.
Bytes EncodeFile(const Image& image, const TempDir& dir) {
  const std::string path = dir.File("out.png");
  {
    AtomicOutputFile out(path);
    out.Write(kSignature, sizeof kSignature);
    const ImageHeader& h = image.header;
    Bytes ihdr;
    tolvane::testing::PutBe32(ihdr, h.width);
    tolvane::testing::PutBe32(ihdr, h.height);
    ihdr.insert(ihdr.end(),
                {h.bitDepth, h.colorType, std::uint8_t{0}, std::uint8_t{0}, h.interlace});
    WriteChunk(out, "IHDR", ihdr);
    WriteImageData(out, h, [&](int y) { return std::span<const std::uint8_t>(image.rows.at(y)); });
    WriteChunk(out, "IEND", {});
    out.Commit();
  }
  return tolvane::testing::ReadFile(path);
}

// Checks every scan line of the decoded data: filter type 1, and the
// unfiltered bytes equal the expected lines.
void ExpectScanLines(const Bytes& decoded, const std::vector<Bytes>& expected, std::size_t bpp) {
  std::size_t at = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::size_t size = expected[i].size();
    ASSERT_LE(at + 1 + size, decoded.size()) << "line " << i;
    EXPECT_EQ(1, decoded[at]) << "filter type of line " << i;
    Bytes line(decoded.begin() + at + 1, decoded.begin() + at + 1 + size);
    for (std::size_t k = bpp; k < size; ++k)
      line[k] = static_cast<std::uint8_t>(line[k] + line[k - bpp]);
    EXPECT_EQ(expected[i], line) << "line " << i;
    at += 1 + size;
  }
  EXPECT_EQ(decoded.size(), at);
}

TEST(PngEncoderTest, FileHasSignatureChunksAndValidCrcs) {
  TempDir dir;
  const Image image = MakeSmoothRgb(40, 30, 0);
  const std::vector<Chunk> chunks = ParseChunks(EncodeFile(image, dir));
  ASSERT_EQ(3u, chunks.size());
  EXPECT_EQ("IHDR", chunks[0].type);
  EXPECT_EQ((Bytes{0, 0, 0, 40, 0, 0, 0, 30, 8, 2, 0, 0, 0}), chunks[0].data);
  EXPECT_EQ("IDAT", chunks[1].type);
  EXPECT_EQ("IEND", chunks[2].type);
  EXPECT_TRUE(chunks[2].data.empty());
}

TEST(PngEncoderTest, ScanLinesAndAdam7PassesForAwkwardSizesAndDepths) {
  struct Format {
    int bitDepth, colorType;
  };
  const Format formats[] = {{8, 2}, {1, 0}, {2, 0}, {4, 3}, {8, 3}, {8, 4}, {16, 6}, {16, 0}};
  const std::uint32_t sizes[][2] = {{1, 1}, {3, 5}, {9, 9}, {33, 17}, {5, 1}, {1, 6}};
  std::uint32_t seed = 0;
  for (const Format& f : formats) {
    for (const auto& size : sizes) {
      for (int interlace = 0; interlace <= 1; ++interlace) {
        SCOPED_TRACE(::testing::Message() << size[0] << "x" << size[1] << " depth " << f.bitDepth
                                          << " type " << f.colorType << " interlace " << interlace);
        TempDir dir;
        const Image image = MakeImage(size[0], size[1], f.bitDepth, f.colorType, interlace, ++seed);
        const Bytes decoded = Inflate(IdatStream(ParseChunks(EncodeFile(image, dir))));
        ExpectScanLines(decoded, ExpectedScanLines(image), FilterUnit(image.header));
      }
    }
  }
}

TEST(PngEncoderTest, Adam7ScanLineLengthsOfA3x5RgbImage) {
  // Pass 2 starts at column 4 and is empty; passes 1, 3, 4, 5, 6, 7 hold
  // 1x1, 1x1, 1x2, 2x1, 1x3 and 3x2 pixels.
  TempDir dir;
  const Image image = MakeImage(3, 5, 8, 2, 1, 99);
  const std::vector<Bytes> lines = ExpectedScanLines(image);
  std::vector<std::size_t> lengths;
  for (const Bytes& line : lines) lengths.push_back(line.size());
  EXPECT_EQ((std::vector<std::size_t>{3, 3, 3, 3, 6, 3, 3, 3, 9, 9}), lengths);
  ExpectScanLines(Inflate(IdatStream(ParseChunks(EncodeFile(image, dir)))), lines, 3);
}

TEST(PngEncoderTest, IdatChunksAreFullButTheLast) {
  TempDir dir;
  const Image noise = MakeImage(300, 300, 8, 2, 0, 5);
  const std::vector<Chunk> chunks = ParseChunks(EncodeFile(noise, dir));
  std::vector<std::size_t> idatSizes;
  for (const Chunk& c : chunks) {
    if (c.type == "IDAT") idatSizes.push_back(c.data.size());
  }
  const Bytes stream = IdatStream(chunks);
  ASSERT_GT(stream.size(), 200000u);
  ASSERT_GE(idatSizes.size(), 4u);
  const std::size_t full = stream.size() / 65535;
  const std::size_t rest = stream.size() % 65535;
  EXPECT_EQ(rest == 0 ? full : full + 1, idatSizes.size());
  for (std::size_t i = 0; i + 1 < idatSizes.size(); ++i) EXPECT_EQ(65535u, idatSizes[i]) << i;
  EXPECT_GE(idatSizes.back(), 1u);
  EXPECT_LE(idatSizes.back(), 65535u);
  // The IDATs form one contiguous run between IHDR and IEND.
  EXPECT_EQ(chunks.size(), idatSizes.size() + 2);
  ExpectScanLines(Inflate(stream), noise.rows, 3);
}

TEST(PngEncoderTest, IdatBytesMatchAReferenceDeflateRun) {
  const Image images[] = {MakeImage(300, 300, 8, 2, 0, 11), MakeSmoothRgb(257, 131, 0),
                          MakeSmoothRgb(257, 131, 1), MakeImage(33, 17, 2, 0, 1, 12)};
  for (const Image& image : images) {
    SCOPED_TRACE(::testing::Message() << image.header.width << "x" << image.header.height
                                      << " interlace " << int{image.header.interlace});
    TempDir dir;
    std::vector<Bytes> filtered;
    for (const Bytes& line : ExpectedScanLines(image)) {
      filtered.push_back(SubFiltered(line, FilterUnit(image.header)));
    }
    EXPECT_EQ(ReferenceDeflate(filtered), IdatStream(ParseChunks(EncodeFile(image, dir))));
  }
}

#ifdef TOLVANE_DEFLATE_WRAPPED
// zlib compresses the same bytes alike however they are split into inputs,
// so the byte comparison above cannot see how rows are fed; the calls can.
TEST(PngEncoderTest, EachScanLineIsTwoInputsWithFlushZeroThenFinish) {
  TempDir dir;
  const Image image = MakeImage(300, 300, 8, 2, 1, 41);  // large enough to fill several chunks
  const std::vector<Bytes> lines = ExpectedScanLines(image);
  deflateCalls.clear();
  recordDeflate = true;
  const Bytes file = EncodeFile(image, dir);
  recordDeflate = false;

  std::vector<std::size_t> inputs;
  std::size_t firstFinish = deflateCalls.size();
  for (std::size_t i = 0; i < deflateCalls.size(); ++i) {
    if (deflateCalls[i].newInput > 0) inputs.push_back(deflateCalls[i].newInput);
    if (deflateCalls[i].flush == Z_FINISH && firstFinish == deflateCalls.size()) firstFinish = i;
  }
  std::vector<std::size_t> expected;
  for (const Bytes& line : lines) {
    expected.push_back(1);
    expected.push_back(line.size());
  }
  EXPECT_EQ(expected, inputs);
  ASSERT_LT(firstFinish, deflateCalls.size());
  for (std::size_t i = 0; i < deflateCalls.size(); ++i) {
    EXPECT_EQ(i < firstFinish ? Z_NO_FLUSH : Z_FINISH, deflateCalls[i].flush) << "call " << i;
    if (i >= firstFinish) {
      EXPECT_EQ(0u, deflateCalls[i].newInput) << "call " << i;
    }
  }
  EXPECT_GT(IdatStream(ParseChunks(file)).size(), 3u * 65535);
}
#endif

// A stream whose length is an exact multiple of the chunk size must end in a
// full chunk, never in an empty one. Noise compresses into stored blocks, so
// the stream length follows the input length and can be steered onto 2 x 65535.
TEST(PngEncoderTest, StreamOfExactlyTwoFullChunksHasNoEmptyIdat) {
  std::mt19937 random(3);
  Bytes noise(140000);
  for (auto& b : noise) b = static_cast<std::uint8_t>(random());
  const std::size_t target = 2 * 65535;
  std::size_t inputSize = target - 64;
  std::size_t streamSize = 0;
  for (int attempt = 0; attempt < 20; ++attempt) {
    streamSize = ReferenceDeflate({Bytes(noise.begin(), noise.begin() + inputSize - 1)}).size();
    if (streamSize == target) break;
    inputSize = inputSize + target - streamSize;
  }
  ASSERT_EQ(target, streamSize);

  TempDir dir;
  const std::string path = dir.File("two.png");
  {
    AtomicOutputFile out(path);
    IdatWriter idat(out);
    idat.WriteScanLine(1, std::span<const std::uint8_t>(noise.data(), inputSize - 1));
    idat.Finish();
    WriteChunk(out, "IEND", {});
    out.Commit();
  }
  Bytes file(kSignature, kSignature + 8);
  const Bytes body = tolvane::testing::ReadFile(path);
  file.insert(file.end(), body.begin(), body.end());
  const std::vector<Chunk> chunks = ParseChunks(file);
  ASSERT_EQ(3u, chunks.size());
  EXPECT_EQ(65535u, chunks[0].data.size());
  EXPECT_EQ(65535u, chunks[1].data.size());
}

TEST(PngEncoderTest, UnfinishedOutputLeavesNoFile) {
  TempDir dir;
  {
    AtomicOutputFile out(dir.File("never.png"));
    out.Write(kSignature, sizeof kSignature);
    IdatWriter idat(out);
    const Bytes row(3000, 42);
    for (int i = 0; i < 100; ++i) idat.WriteScanLine(1, row);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(PngEncoderTest, FailingRowSourceLeavesNoFile) {
  TempDir dir;
  const Image image = MakeImage(500, 200, 8, 2, 0, 21);
  try {
    AtomicOutputFile out(dir.File("out.png"));
    WriteImageData(out, image.header, [&](int y) {
      if (y == 150) throw Error("row source failed");
      return std::span<const std::uint8_t>(image.rows.at(y));
    });
    out.Commit();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ("row source failed", e.what());
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(PngEncoderTest, ShortWriteFailsWithTheWriteErrorAndLeavesNoFile) {
  if (!testing::FileSizeLimit::Supported()) GTEST_SKIP() << "no file size limit on this system";
  TempDir dir;
  const Image noise = MakeImage(300, 300, 8, 2, 0, 31);
  try {
    const testing::FileSizeLimit limit(100000);
    AtomicOutputFile out(dir.File("out.png"));
    WriteImageData(out, noise.header,
                   [&](int y) { return std::span<const std::uint8_t>(noise.rows.at(y)); });
    out.Commit();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(messages::kWriteError, e.what());
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(PngEncoderTest, RejectsRowsShorterThanTheHeaderSays) {
  TempDir dir;
  AtomicOutputFile out(dir.File("out.png"));
  const Bytes shortRow(5);
  const ImageHeader header{4, 2, 8, 2, 0};
  EXPECT_THROW(
      WriteImageData(out, header, [&](int) { return std::span<const std::uint8_t>(shortRow); }),
      Error);
}

}  // namespace
}  // namespace tolvane::png
