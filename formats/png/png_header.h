#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tolvane::png {

// The 8 bytes every PNG file begins with.
inline constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// The 4-byte big-endian numbers of chunk lengths, CRCs and header fields.
inline std::uint32_t LoadBe32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}
inline void StoreBe32(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value >> 24);
  out[1] = static_cast<std::uint8_t>(value >> 16);
  out[2] = static_cast<std::uint8_t>(value >> 8);
  out[3] = static_cast<std::uint8_t>(value);
}

// The image data move in pieces of at most this many bytes: the reader
// fetches IDAT data so, and the writer fills each IDAT chunk up to it.
inline constexpr std::size_t kMaxIdatPiece = 65535;

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
inline constexpr std::array<Adam7Pass, 7> kAdam7{{{0, 0, 8, 8},
                                                  {0, 4, 8, 8},
                                                  {4, 0, 8, 4},
                                                  {0, 2, 4, 4},
                                                  {2, 0, 4, 2},
                                                  {0, 1, 2, 2},
                                                  {1, 0, 2, 1}}};

// A non-interlaced image is one pass over every pixel.
inline constexpr Adam7Pass kWholeImage{0, 0, 1, 1};

// Pixels of a pass along one side: ceil((size - start) / step), 0 when none.
inline std::uint32_t PassExtent(std::uint32_t size, int start, int step) {
  const auto s = static_cast<std::uint32_t>(start);
  return size > s
             ? (size - s + static_cast<std::uint32_t>(step) - 1) / static_cast<std::uint32_t>(step)
             : 0;
}

}  // namespace tolvane::png
