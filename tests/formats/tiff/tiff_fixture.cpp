#include "tests/formats/tiff/tiff_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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

}  // namespace

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
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  SetTags(tif, recipe);
  if (recipe.tileSide > 0) {
    WriteTiles(tif, recipe);
  } else {
    WriteRows(tif, recipe);
  }
  TIFFClose(tif);
}

void SpoilStrip(const std::string& path, std::uint32_t strip) {
  std::uint64_t offset = 0;
  std::uint64_t count = 0;
  {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    offset = TIFFGetStrileOffset(tif, strip);
    count = TIFFGetStrileByteCount(tif, strip);
    TIFFClose(tif);
  }
  std::vector<std::uint8_t> bytes = ReadFile(path);
  ASSERT_LE(offset + count, bytes.size());
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), count, std::uint8_t{0xFF});
  WriteFile(path, bytes);
}

}  // namespace tolvane::testing
