#include "tests/formats/tiff/tiff_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"

namespace tolvane::testing {

namespace {

int ColourChannels(const TiffRecipe& recipe) {
  return recipe.photometric == PHOTOMETRIC_RGB ? 3 : 1;
}

int Channels(const TiffRecipe& recipe) {
  return ColourChannels(recipe) + (recipe.extraSample >= 0 ? 1 : 0);
}

int TileLength(const TiffRecipe& recipe) {
  return recipe.tileLength > 0 ? recipe.tileLength : recipe.tileSide;
}

int Planes(const TiffRecipe& recipe) { return recipe.separatePlanes ? Channels(recipe) : 1; }

int ChannelsPerPlane(const TiffRecipe& recipe) {
  return recipe.separatePlanes ? 1 : Channels(recipe);
}

// Samples x0 .. x0 + count - 1 of a row, of the given channels, packed as
// libtiff takes them (16-bit samples in native order, smaller ones from the
// high bit down).
std::vector<std::uint8_t> PackedSamples(const TiffRecipe& recipe, int y, int x0, int count,
                                        int firstChannel, int channels) {
  const int bits = recipe.bitsPerSample;
  std::vector<std::uint8_t> out((static_cast<std::size_t>(count) * channels * bits + 7) / 8);
  std::size_t bit = 0;
  for (int x = x0; x < x0 + count; ++x) {
    for (int c = firstChannel; c < firstChannel + channels; ++c, bit += bits) {
      const std::uint32_t value =
          x < recipe.width && y < recipe.height ? NoiseSample(recipe, x, y, c) : 0;
      if (bits == 16) {
        const auto wide = static_cast<std::uint16_t>(value);
        std::memcpy(out.data() + bit / 8, &wide, 2);
      } else if (bits == 8) {
        out[bit / 8] = static_cast<std::uint8_t>(value);
      } else {
        const auto shift = static_cast<unsigned>(8 - bits - bit % 8);
        out[bit / 8] = static_cast<std::uint8_t>(out[bit / 8] | value << shift);
      }
    }
  }
  return out;
}

void SetTags(TIFF* tif, const TiffRecipe& recipe) {
  const int channels = Channels(recipe);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(recipe.width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(recipe.height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, recipe.bitsPerSample);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, channels);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, recipe.photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG,
               recipe.separatePlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, recipe.compression);
  if (recipe.predictor != PREDICTOR_NONE) TIFFSetField(tif, TIFFTAG_PREDICTOR, recipe.predictor);
  if (recipe.orientation != 0) TIFFSetField(tif, TIFFTAG_ORIENTATION, recipe.orientation);
  if (recipe.tileSide > 0) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, static_cast<std::uint32_t>(recipe.tileSide));
    TIFFSetField(tif, TIFFTAG_TILELENGTH, static_cast<std::uint32_t>(TileLength(recipe)));
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, recipe.rowsPerStrip);
  }
  if (recipe.extraSample >= 0) {
    const auto kind = static_cast<std::uint16_t>(recipe.extraSample);
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
  }
  if (recipe.photometric == PHOTOMETRIC_PALETTE) {
    // Entry i: red i, green 255 - i, blue 7 x i, scaled to 16 bits.
    const std::size_t entries = std::size_t{1} << recipe.bitsPerSample;
    std::vector<std::uint16_t> red(entries), green(entries), blue(entries);
    for (std::size_t i = 0; i < entries; ++i) {
      red[i] = static_cast<std::uint16_t>(i * 257);
      green[i] = static_cast<std::uint16_t>((255 - i % 256) * 257);
      blue[i] = static_cast<std::uint16_t>((i * 7 % 256) * 257);
    }
    TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  }
}

void WriteTiles(TIFF* tif, const TiffRecipe& recipe) {
  const int width = recipe.tileSide;
  const int length = TileLength(recipe);
  for (int plane = 0; plane < Planes(recipe); ++plane) {
    for (int top = 0; top < recipe.height; top += length) {
      for (int left = 0; left < recipe.width; left += width) {
        std::vector<std::uint8_t> tile;
        for (int y = top; y < top + length; ++y) {
          const auto row = PackedSamples(recipe, y, left, width, plane, ChannelsPerPlane(recipe));
          tile.insert(tile.end(), row.begin(), row.end());
        }
        ASSERT_GE(
            TIFFWriteTile(tif, tile.data(), static_cast<std::uint32_t>(left),
                          static_cast<std::uint32_t>(top), 0, static_cast<std::uint16_t>(plane)),
            0);
      }
    }
  }
}

void WriteRows(TIFF* tif, const TiffRecipe& recipe) {
  for (int plane = 0; plane < Planes(recipe); ++plane) {
    for (int y = 0; y < recipe.height; ++y) {
      auto row = PackedSamples(recipe, y, 0, recipe.width, plane, ChannelsPerPlane(recipe));
      ASSERT_EQ(TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y),
                                  static_cast<std::uint16_t>(plane)),
                1);
    }
  }
}

void WriteImage(TIFF* tif, const TiffRecipe& recipe) {
  SetTags(tif, recipe);
  if (recipe.tileSide > 0) {
    WriteTiles(tif, recipe);
  } else {
    WriteRows(tif, recipe);
  }
}

// A file in memory for libtiff to write and read back through client
// procedures.
struct MemoryStream {
  std::vector<std::uint8_t> bytes;
  std::uint64_t position = 0;
};

MemoryStream& StreamOf(thandle_t handle) { return *static_cast<MemoryStream*>(handle); }

tmsize_t ReadStream(thandle_t handle, void* buffer, tmsize_t count) {
  MemoryStream& stream = StreamOf(handle);
  if (count <= 0 || stream.position >= stream.bytes.size()) return 0;
  const std::size_t length = std::min<std::uint64_t>(static_cast<std::uint64_t>(count),
                                                     stream.bytes.size() - stream.position);
  std::memcpy(buffer, stream.bytes.data() + stream.position, length);
  stream.position += length;
  return static_cast<tmsize_t>(length);
}

tmsize_t WriteStream(thandle_t handle, void* buffer, tmsize_t count) {
  MemoryStream& stream = StreamOf(handle);
  if (count <= 0) return 0;
  const auto length = static_cast<std::size_t>(count);
  if (stream.bytes.size() < stream.position + length) stream.bytes.resize(stream.position + length);
  std::memcpy(stream.bytes.data() + stream.position, buffer, length);
  stream.position += length;
  return count;
}

toff_t SeekStream(thandle_t handle, toff_t offset, int whence) {
  MemoryStream& stream = StreamOf(handle);
  switch (whence) {
    case SEEK_SET: stream.position = offset; break;
    case SEEK_CUR: stream.position += offset; break;
    case SEEK_END: stream.position = stream.bytes.size() + offset; break;
    default: return static_cast<toff_t>(-1);
  }
  return stream.position;
}

int CloseStream(thandle_t) { return 0; }
toff_t StreamSize(thandle_t handle) { return StreamOf(handle).bytes.size(); }
int NoMapping(thandle_t, void**, toff_t*) { return 0; }
void NoUnmapping(thandle_t, void*, toff_t) {}

TIFF* OpenStream(MemoryStream& stream, const char* mode) {
  return TIFFClientOpen("memory", mode, &stream, ReadStream, WriteStream, SeekStream, CloseStream,
                        StreamSize, NoMapping, NoUnmapping);
}

}  // namespace

std::vector<std::uint8_t> TiffInMemory(const std::function<void(TIFF*)>& write) {
  MemoryStream stream;
  TIFF* tif = OpenStream(stream, "w");
  EXPECT_NE(tif, nullptr);
  if (tif == nullptr) return {};
  write(tif);
  TIFFClose(tif);
  return std::move(stream.bytes);
}

std::vector<std::uint8_t> TiffBytes(const TiffRecipe& recipe) {
  return TiffInMemory([&](TIFF* tif) { WriteImage(tif, recipe); });
}

std::uint32_t NoiseSample(const TiffRecipe& recipe, int x, int y, int channel) {
  std::uint32_t v = static_cast<std::uint32_t>(x) * 2654435761u ^
                    static_cast<std::uint32_t>(y) * 40503u ^
                    static_cast<std::uint32_t>(channel) * 97u;
  v ^= v >> 13;
  v *= 0x9E3779B1u;
  v ^= v >> 16;
  const std::uint32_t max = (std::uint32_t{1} << recipe.bitsPerSample) - 1;
  const bool alpha = recipe.extraSample >= 0 && channel == ColourChannels(recipe);
  if (alpha && (x / 5 + y) % 4 != 0) return max;
  return v & max;
}

void WriteTiff(const std::string& path, const TiffRecipe& recipe) {
  WriteFile(path, TiffBytes(recipe));
}

void SpoilStrip(std::vector<std::uint8_t>& file, std::uint32_t strip) {
  std::uint64_t offset = 0;
  std::uint64_t count = 0;
  {
    MemoryStream stream{file};
    TIFF* tif = OpenStream(stream, "r");
    ASSERT_NE(tif, nullptr);
    offset = TIFFGetStrileOffset(tif, strip);
    count = TIFFGetStrileByteCount(tif, strip);
    TIFFClose(tif);
  }
  ASSERT_LE(offset + count, file.size());
  std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(offset), count, std::uint8_t{0xFF});
}

}  // namespace tolvane::testing
