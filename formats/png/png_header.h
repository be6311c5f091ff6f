#pragma once

#include <array>
#include <cstdint>

namespace tolvane::png {

// The fields of an IHDR chunk.
struct PngHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint8_t bitDepth = 0;
  std::uint8_t colorType = 0;
  std::uint8_t compression = 0;
  std::uint8_t filter = 0;
  std::uint8_t interlace = 0;
};

inline constexpr std::uint8_t kGray = 0;
inline constexpr std::uint8_t kRgb = 2;
inline constexpr std::uint8_t kPalette = 3;
inline constexpr std::uint8_t kGrayAlpha = 4;
inline constexpr std::uint8_t kRgbAlpha = 6;

// Samples per pixel of a colour type (0 for an unknown one).
inline int ChannelsOf(std::uint8_t colorType) {
  switch (colorType) {
    case kGray: return 1;
    case kRgb: return 3;
    case kPalette: return 1;
    case kGrayAlpha: return 2;
    case kRgbAlpha: return 4;
    default: return 0;
  }
}

using ChunkType = std::array<char, 4>;

inline constexpr ChunkType kIHDR{'I', 'H', 'D', 'R'};
inline constexpr ChunkType kIDAT{'I', 'D', 'A', 'T'};
inline constexpr ChunkType kPLTE{'P', 'L', 'T', 'E'};
inline constexpr ChunkType kIEND{'I', 'E', 'N', 'D'};
inline constexpr ChunkType kgAMA{'g', 'A', 'M', 'A'};
inline constexpr ChunkType ktRNS{'t', 'R', 'N', 'S'};
inline constexpr ChunkType kpHYs{'p', 'H', 'Y', 's'};
inline constexpr ChunkType ktIME{'t', 'I', 'M', 'E'};
inline constexpr ChunkType ktEXt{'t', 'E', 'X', 't'};
inline constexpr ChunkType kzTXt{'z', 'T', 'X', 't'};
inline constexpr ChunkType kcHRM{'c', 'H', 'R', 'M'};

// The Adam7 passes: starting row and column, row and column step.
struct Adam7Pass {
  int startRow;
  int startColumn;
  int rowStep;
  int columnStep;
};
inline constexpr std::array<Adam7Pass, 7> kAdam7{{
    {0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4}, {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}}};

// Pixels of a pass along one side: ceil((size - start) / step), 0 when none.
inline std::uint32_t PassExtent(std::uint32_t size, int start, int step) {
  const auto s = static_cast<std::uint32_t>(start);
  return size > s ? (size - s + static_cast<std::uint32_t>(step) - 1) / static_cast<std::uint32_t>(step) : 0;
}

}  // namespace tolvane::png
