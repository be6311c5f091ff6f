#pragma once

#include <tiffio.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolvane::testing {

// One image for libtiff to write. Samples are given per pixel and channel
// (colour channels, then the extra sample) and must fit the bit depth.
struct TiffRecipe {
  int width = 1;
  int height = 1;
  int bitsPerSample = 8;
  std::uint16_t photometric = PHOTOMETRIC_RGB;
  int extraSample = -1;  // -1: none; else EXTRASAMPLE_ASSOCALPHA or EXTRASAMPLE_UNASSALPHA
  std::uint32_t rowsPerStrip = 16;
  int tileSide = 0;    // above 0: tiles of this width instead of strips
  int tileLength = 0;  // the tiles' height; 0: as wide as they are
  std::uint16_t compression = COMPRESSION_LZW;
  std::uint16_t predictor = PREDICTOR_NONE;
  std::uint16_t orientation = 0;  // 0: no tag
  bool separatePlanes = false;
};

// The recipe with one change made, for tables of cases.
template <typename Change>
TiffRecipe With(TiffRecipe recipe, Change change) {
  change(recipe);
  return recipe;
}

// Varied values for every pixel and channel; the alpha channel of RGBA and
// grey-alpha images is mostly opaque, with runs of other values.
std::uint32_t NoiseSample(const TiffRecipe& recipe, int x, int y, int channel);

// The bytes of a TIFF file that `write` makes through libtiff, in memory.
std::vector<std::uint8_t> TiffInMemory(const std::function<void(TIFF*)>& write);

// The recipe's image as a TIFF file in memory, or on disk.
std::vector<std::uint8_t> TiffBytes(const TiffRecipe& recipe);
void WriteTiff(const std::string& path, const TiffRecipe& recipe);

// Overwrites the stored data of one strip with bytes no decoder accepts.
void SpoilStrip(std::vector<std::uint8_t>& file, std::uint32_t strip);

}  // namespace tolvane::testing
