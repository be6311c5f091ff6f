#include "formats/jpeg/jpeg_cmyk.h"

namespace tolvane {

void ConvertCmykRow(std::uint8_t* row, int width) {
  for (int x = 0; x < width; ++x, row += 4) {
    const CmykAsRgb rgb = ConvertCmyk(row[0], row[1], row[2], row[3]);
    row[0] = rgb.blue;
    row[1] = rgb.green;
    row[2] = rgb.red;
    row[3] = 255;
  }
}

}  // namespace tolvane
