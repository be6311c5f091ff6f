#include "tests/formats/jpeg/jpeg_fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

namespace tolvane::testing {

std::vector<std::uint8_t> MakeJpeg(const JpegRecipe& recipe) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_CreateCompress(&info, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(recipe.width);
  info.image_height = static_cast<JDIMENSION>(recipe.height);
  info.input_components = recipe.components;
  info.in_color_space = recipe.components == 1   ? JCS_GRAYSCALE
                        : recipe.components == 4 ? JCS_CMYK
                                                 : JCS_RGB;
  jpeg_set_defaults(&info);
  if (recipe.storeAsRgb) jpeg_set_colorspace(&info, JCS_RGB);
  if (recipe.storeAsYcck) jpeg_set_colorspace(&info, JCS_YCCK);
  jpeg_set_quality(&info, recipe.quality, TRUE);
  if (recipe.progressive) jpeg_simple_progression(&info);
  std::vector<jpeg_scan_info> script;
  for (const JpegScan& scan : recipe.scans) {
    jpeg_scan_info entry{};
    entry.comps_in_scan = static_cast<int>(scan.components.size());
    for (std::size_t c = 0; c < scan.components.size(); ++c)
      entry.component_index[c] = scan.components[c];
    entry.Ss = scan.ss;
    entry.Se = scan.se;
    entry.Ah = scan.ah;
    entry.Al = scan.al;
    script.push_back(entry);
  }
  if (!script.empty()) {
    info.scan_info = script.data();
    info.num_scans = static_cast<int>(script.size());
  }
  info.restart_in_rows = recipe.restartRows;
  jpeg_start_compress(&info, TRUE);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(recipe.width) *
                                static_cast<std::size_t>(recipe.components));
  while (info.next_scanline < info.image_height) {
    const int y = static_cast<int>(info.next_scanline);
    for (int x = 0; x < recipe.width; ++x) recipe.pixel(x, y, row.data() + x * recipe.components);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<std::uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&info);
  return out;
}

std::vector<std::uint8_t> CutInScan(const std::vector<std::uint8_t>& whole, int scan) {
  // Each scan's data run from its header's end to the next marker (a restart
  // marker counts as one).
  std::size_t cut = whole.size();
  std::size_t longest = 0;
  int seen = 0;
  for (std::size_t i = 0; i + 3 < whole.size(); ++i) {
    if (whole[i] != 0xFF || whole[i + 1] != 0xDA) continue;
    ++seen;
    const std::size_t data = i + 2 + (std::size_t{whole[i + 2]} << 8 | whole[i + 3]);
    std::size_t end = data;
    while (end + 1 < whole.size() && !(whole[end] == 0xFF && whole[end + 1] != 0)) ++end;
    if (seen == scan || (scan == 0 && end - data > longest)) {
      cut = data + (end - data) / 2;
      longest = end - data;
      if (seen == scan) break;
    }
  }
  return {whole.begin(), whole.begin() + static_cast<long>(cut)};
}

namespace {

void PutBe16(std::vector<std::uint8_t>& out, int value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

}  // namespace

std::vector<std::uint8_t> MakeJpegHeader(const JpegHeaderSpec& recipe) {
  std::vector<std::uint8_t> out = {0xFF, 0xD8, 0xFF, recipe.frameMarker};
  PutBe16(out, 8 + 3 * recipe.components);
  out.push_back(static_cast<std::uint8_t>(recipe.precision));
  PutBe16(out, recipe.height);
  PutBe16(out, recipe.width);
  out.push_back(static_cast<std::uint8_t>(recipe.components));
  for (int c = 0; c < recipe.components; ++c) {
    out.push_back(static_cast<std::uint8_t>(c + 1));
    out.push_back(recipe.sampling);
    out.push_back(0);
  }
  if (recipe.withScan) {
    out.insert(out.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
  }
  return out;
}

}  // namespace tolvane::testing
