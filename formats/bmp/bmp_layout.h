#pragma once

// The fixed parts of the Windows bitmap file layout, shared by the reader and
// the writer. All multi-byte fields are little-endian.

#include <cstddef>
#include <cstdint>

namespace tolvane::bmp {

inline constexpr std::size_t kFileHeaderBytes = 14;
inline constexpr std::uint32_t kCoreHeaderBytes = 12;  // BITMAPCOREHEADER
inline constexpr std::uint32_t kInfoHeaderBytes = 40;  // BITMAPINFOHEADER
// Longer headers carry the red, green and blue masks at offsets 40, 44 and 48.
inline constexpr std::uint32_t kHeaderWithMasksBytes = 52;
inline constexpr std::size_t kMaskBytes = 12;
inline constexpr std::uint64_t kMaxColourTableBytes = 1024;

inline constexpr std::uint32_t kRgb = 0;        // BI_RGB
inline constexpr std::uint32_t kRle8 = 1;       // BI_RLE8
inline constexpr std::uint32_t kRle4 = 2;       // BI_RLE4
inline constexpr std::uint32_t kBitFields = 3;  // BI_BITFIELDS

inline std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void PutLe16(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutLe32(std::uint8_t* p, std::uint32_t value) {
  PutLe16(p, value & 0xFFFF);
  PutLe16(p + 2, value >> 16);
}

}  // namespace tolvane::bmp
