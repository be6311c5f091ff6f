#include "tests/formats/bmp/bmp_fixture.h"

#include <algorithm>

#include "formats/bmp/bmp.h"
#include "tests/support/test_support.h"

namespace tolvane::testing {

std::vector<std::uint8_t> BmpFixture::Bytes() const {
  std::vector<std::uint8_t> info;
  PutLe32(info, headerLength);
  if (headerLength == 12) {
    PutLe16(info, static_cast<std::uint32_t>(width));
    PutLe16(info, static_cast<std::uint32_t>(height));
    PutLe16(info, planes);
    PutLe16(info, bitCount);
  } else {
    PutLe32(info, static_cast<std::uint32_t>(width));
    PutLe32(info, static_cast<std::uint32_t>(height));
    PutLe16(info, planes);
    PutLe16(info, bitCount);
    PutLe32(info, compression);
    PutLe32(info, sizeImage);
    PutLe32(info, 2835);  // resolutions, never read
    PutLe32(info, 2835);
    PutLe32(info, clrUsed);
    PutLe32(info, 0);
    const bool masksInside = headerLength >= 52;
    if (masksInside) {
      for (std::uint32_t mask : masks) PutLe32(info, mask);
    }
    // A short header length gets only that many bytes (the length field at least).
    info.resize(std::max<std::size_t>(headerLength, 4), 0);
    if (!masksInside) {
      for (std::uint32_t mask : masks) PutLe32(info, mask);
    }
  }
  const std::size_t offBits = 14 + info.size() + colourTable.size() + gap.size();
  std::vector<std::uint8_t> out = {'B', 'M'};
  PutLe32(out, static_cast<std::uint32_t>(offBits + pixels.size()));
  PutLe32(out, 0);
  PutLe32(out, static_cast<std::uint32_t>(offBits));
  out.insert(out.end(), info.begin(), info.end());
  out.insert(out.end(), colourTable.begin(), colourTable.end());
  out.insert(out.end(), gap.begin(), gap.end());
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

std::vector<std::uint8_t> ColourTable(const std::vector<std::uint32_t>& colours, bool core) {
  std::vector<std::uint8_t> out;
  for (std::uint32_t rgb : colours) {
    out.push_back(static_cast<std::uint8_t>(rgb));
    out.push_back(static_cast<std::uint8_t>(rgb >> 8));
    out.push_back(static_cast<std::uint8_t>(rgb >> 16));
    if (!core) out.push_back(0);
  }
  return out;
}

Raster LoadBmpBytes(const std::vector<std::uint8_t>& bytes) {
  MemorySource source(bytes);
  Raster raster;
  LoadBmp(source, raster);
  return raster;
}

std::uint32_t PixelAt(const Raster& raster, int x, int y) {
  std::vector<std::uint8_t> row(4 * static_cast<std::size_t>(raster.Width()));
  ReadRowBgrx(raster, y, row.data());
  const std::uint8_t* p = row.data() + 4 * static_cast<std::size_t>(x);
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::vector<std::uint32_t> AllPixels(const Raster& raster) {
  std::vector<std::uint32_t> out;
  for (int y = 0; y < raster.Height(); ++y) {
    for (int x = 0; x < raster.Width(); ++x) out.push_back(PixelAt(raster, x, y));
  }
  return out;
}

}  // namespace tolvane::testing
