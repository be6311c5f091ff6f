#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace tolvane::testing {

// One scan of a scan script: the components it covers, the spectral range
// and the successive-approximation bits.
struct JpegScan {
  std::vector<int> components;
  int ss = 0, se = 63, ah = 0, al = 0;
};

// What libjpeg's compressor is asked to make.
struct JpegRecipe {
  int width = 16;
  int height = 16;
  int components = 3;        // 1 grey, 3 RGB, 4 CMYK
  bool storeAsRgb = false;   // three components kept RGB, Adobe marker with transform 0
  bool storeAsYcck = false;  // four components stored as YCCK, Adobe marker transform 2
  bool progressive = false;
  std::vector<JpegScan> scans;  // a scan script of its own instead of libjpeg's
  int restartRows = 0;          // a restart marker every so many MCU rows
  int quality = 100;
  // The samples of pixel (x, y), `components` of them, into out.
  std::function<void(int x, int y, std::uint8_t* out)> pixel;
};

std::vector<std::uint8_t> MakeJpeg(const JpegRecipe& recipe);

// The first `length` bytes of a file made by MakeJpeg, where the length is
// halfway through the entropy-coded data of scan `scan` (1 is the first),
// or, with scan 0, of its longest scan.
std::vector<std::uint8_t> CutInScan(const std::vector<std::uint8_t>& whole, int scan);

// A hand-written header: SOI, a frame header of the given marker, precision,
// size and components (identifiers 1, 2, ...; every sampling byte as given),
// and a start of scan over the first component. No tables, no scan data.
struct JpegHeaderSpec {
  std::uint8_t frameMarker = 0xC0;
  int precision = 8;
  int width = 8;
  int height = 8;
  int components = 3;
  std::uint8_t sampling = 0x11;
  bool withScan = true;
};

std::vector<std::uint8_t> MakeJpegHeader(const JpegHeaderSpec& recipe);

}  // namespace tolvane::testing
