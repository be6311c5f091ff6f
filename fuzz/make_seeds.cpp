// make_seeds FOLDER: writes small files of every kind the readers take into
// FOLDER/bmp, FOLDER/png, FOLDER/jpeg and FOLDER/tiff, as starting points for
// the fuzzers.
// make_seeds --convert FOLDER: makes the whole conversion's seeds in
// FOLDER/convert from the files in each format's folder, each prefixed with
// the byte by which fuzz_convert picks that format.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <tiffio.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "convert/read_input.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Save(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void Le(Bytes& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void Be32(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// A BMP with a 40-byte header; `extra` (masks or colour table) and `pixels` as given.
Bytes Bmp(int width, int height, int bits, int compression, const Bytes& extra,
          const Bytes& pixels) {
  Bytes out{'B', 'M'};
  Le(out, static_cast<std::uint32_t>(54 + extra.size() + pixels.size()), 4);
  Le(out, 0, 4);
  Le(out, static_cast<std::uint32_t>(54 + extra.size()), 4);
  Le(out, 40, 4);
  Le(out, static_cast<std::uint32_t>(width), 4);
  Le(out, static_cast<std::uint32_t>(height), 4);
  Le(out, 1, 2);
  Le(out, static_cast<std::uint32_t>(bits), 2);
  Le(out, static_cast<std::uint32_t>(compression), 4);
  Le(out, static_cast<std::uint32_t>(pixels.size()), 4);
  for (int i = 0; i < 4; ++i) Le(out, 0, 4);
  out.insert(out.end(), extra.begin(), extra.end());
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

Bytes Palette(int count) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    out.push_back(static_cast<std::uint8_t>(i * 37));
    out.push_back(static_cast<std::uint8_t>(i * 91));
    out.push_back(static_cast<std::uint8_t>(255 - i * 13));
    out.push_back(0);
  }
  return out;
}

Bytes Pattern(std::size_t count) {
  Bytes out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(i * 29 + i / 7);
  return out;
}

void WriteBmps(const std::string& dir) {
  Save(dir + "/bits1.bmp", Bmp(9, 3, 1, 0, Palette(2), Pattern(12)));
  Save(dir + "/bits4.bmp", Bmp(5, 3, 4, 0, Palette(16), Pattern(12)));
  Save(dir + "/bits8.bmp", Bmp(5, 3, 8, 0, Palette(256), Pattern(24)));
  Save(dir + "/bits16.bmp", Bmp(3, 2, 16, 0, {}, Pattern(16)));
  Bytes masks565;
  Le(masks565, 0xF800, 4);
  Le(masks565, 0x07E0, 4);
  Le(masks565, 0x001F, 4);
  Save(dir + "/bits16-565.bmp", Bmp(3, 2, 16, 3, masks565, Pattern(16)));
  Save(dir + "/bits24.bmp", Bmp(3, 2, 24, 0, {}, Pattern(24)));
  Save(dir + "/bits32.bmp", Bmp(3, 2, 32, 0, {}, Pattern(24)));
  // RLE8: a run, an absolute run, a delta, end of line, end of bitmap.
  const Bytes rle8{3, 1, 0, 3, 4, 5, 6, 0, 0, 2, 1, 0, 0, 2, 7, 0, 1};
  Save(dir + "/rle8.bmp", Bmp(6, 3, 8, 1, Palette(8), rle8));
  const Bytes rle4{4, 0x12, 0, 4, 0x34, 0x56, 0, 0, 3, 0x77, 0, 1};
  Save(dir + "/rle4.bmp", Bmp(6, 2, 4, 2, Palette(16), rle4));
}

void PngChunk(Bytes& out, const char* type, const Bytes& data) {
  Be32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  const auto crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
  Be32(out, static_cast<std::uint32_t>(crc));
}

// A PNG of the given header whose scan lines are the pattern, filter byte 0 to 4 in turn.
Bytes Png(int width, int height, int depth, int colorType, int interlace,
          const std::vector<std::pair<std::string, Bytes>>& extra) {
  const int channels[] = {1, 0, 3, 1, 2, 0, 4};
  const std::size_t rowBytes =
      (static_cast<std::size_t>(width) * depth * channels[colorType] + 7) / 8;
  Bytes raw;
  // Enough scan lines for either interlace method.
  for (int y = 0; y < height * 2; ++y) {
    raw.push_back(static_cast<std::uint8_t>(y % 5));
    const Bytes row = Pattern(rowBytes + static_cast<std::size_t>(y));
    raw.insert(raw.end(), row.begin(), row.begin() + static_cast<std::ptrdiff_t>(rowBytes));
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  Bytes packed(packedSize);
  compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 7);
  packed.resize(packedSize);

  Bytes out{137, 80, 78, 71, 13, 10, 26, 10};
  Bytes ihdr;
  Be32(ihdr, static_cast<std::uint32_t>(width));
  Be32(ihdr, static_cast<std::uint32_t>(height));
  ihdr.insert(ihdr.end(), {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(colorType),
                           0, 0, static_cast<std::uint8_t>(interlace)});
  PngChunk(out, "IHDR", ihdr);
  for (const auto& [type, data] : extra) PngChunk(out, type.c_str(), data);
  PngChunk(out, "IDAT", packed);
  PngChunk(out, "IEND", {});
  return out;
}

// A zTXt chunk's data: keyword, 0, method 0, the deflated text.
Bytes CompressedText(const std::string& text) {
  uLongf packedSize = compressBound(static_cast<uLong>(text.size()));
  Bytes packed(packedSize);
  compress2(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(text.data()),
            static_cast<uLong>(text.size()), 9);
  packed.resize(packedSize);
  Bytes out{'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
  out.insert(out.end(), packed.begin(), packed.end());
  return out;
}

void WritePngs(const std::string& dir) {
  const Bytes gamma{0, 0, 0xB1, 0x8F};
  const Bytes plte = Pattern(3 * 16);
  const Bytes trns{0, 128, 255, 7};
  Save(dir + "/gray1.png", Png(7, 3, 1, 0, 0, {}));
  Save(dir + "/gray2-adam7.png", Png(9, 9, 2, 0, 1, {{"gAMA", gamma}}));
  Save(dir + "/gray2-key-text.png",
       Png(6, 3, 2, 0, 0, {{"tRNS", {0, 3}}, {"zTXt", CompressedText("a text")}}));
  Save(dir + "/gray16.png", Png(3, 3, 16, 0, 0, {{"tRNS", {0, 5}}}));
  Save(dir + "/rgb8.png", Png(5, 4, 8, 2, 0, {{"gAMA", gamma}, {"tRNS", {0, 1, 0, 2, 0, 3}}}));
  Save(dir + "/rgb16-adam7.png", Png(6, 5, 16, 2, 1, {}));
  Save(dir + "/palette4.png", Png(8, 3, 4, 3, 0, {{"PLTE", plte}, {"tRNS", trns}}));
  Save(dir + "/palette8-key.png", Png(4, 4, 8, 3, 1, {{"PLTE", plte}, {"tRNS", {255, 0}}}));
  Save(dir + "/gray-alpha.png", Png(4, 3, 8, 4, 0, {{"tEXt", {'a', 0, 'b'}}}));
  Save(dir + "/rgba16.png", Png(3, 3, 16, 6, 1, {{"pHYs", Pattern(9)}}));
}

void WriteJpeg(const std::string& path, int width, int height, int components, J_COLOR_SPACE space,
               bool progressive, bool arithmetic) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 60, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  cinfo.arith_code = arithmetic ? TRUE : FALSE;
  jpeg_start_compress(&cinfo, TRUE);
  const Bytes row = Pattern(static_cast<std::size_t>(width * components));
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW rows[1] = {const_cast<JSAMPROW>(row.data())};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(file);
}

void WriteJpegs(const std::string& dir) {
  WriteJpeg(dir + "/gray.jpg", 17, 9, 1, JCS_GRAYSCALE, false, false);
  WriteJpeg(dir + "/rgb.jpg", 19, 11, 3, JCS_RGB, false, false);
  WriteJpeg(dir + "/rgb-progressive.jpg", 19, 11, 3, JCS_RGB, true, false);
  WriteJpeg(dir + "/cmyk.jpg", 9, 9, 4, JCS_CMYK, false, false);
  WriteJpeg(dir + "/arithmetic.jpg", 9, 9, 3, JCS_RGB, false, true);
}

void WriteTiff(const std::string& path, int width, int height, int samples, int bits,
               int photometric, int compression, int extra) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 2);
  if (extra != 0) {
    const std::uint16_t kind[1] = {static_cast<std::uint16_t>(extra)};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, kind);
  }
  if (photometric == PHOTOMETRIC_PALETTE) {
    std::vector<std::uint16_t> map(std::size_t{1} << bits);
    for (std::size_t i = 0; i < map.size(); ++i) map[i] = static_cast<std::uint16_t>(i * 4099);
    TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
  }
  const tmsize_t rowBytes = TIFFScanlineSize(tif);
  Bytes row = Pattern(static_cast<std::size_t>(rowBytes));
  for (int y = 0; y < height; ++y)
    TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0);
  TIFFClose(tif);
}

// Uncompressed RGB tiles of 16 x 16, with an orientation that turns the image.
void WriteTiledTiff(const std::string& path, int width, int height) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_RIGHTTOP);
  TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
  TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
  Bytes tile = Pattern(static_cast<std::size_t>(TIFFTileSize(tif)));
  for (int top = 0; top < height; top += 16) {
    for (int left = 0; left < width; left += 16) {
      TIFFWriteTile(tif, tile.data(), static_cast<std::uint32_t>(left),
                    static_cast<std::uint32_t>(top), 0, 0);
    }
  }
  TIFFClose(tif);
}

void WriteTiffs(const std::string& dir) {
  WriteTiff(dir + "/gray8.tif", 7, 5, 1, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, 0);
  WriteTiff(dir + "/bilevel.tif", 17, 5, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_PACKBITS, 0);
  WriteTiff(dir + "/palette4.tif", 7, 5, 1, 4, PHOTOMETRIC_PALETTE, COMPRESSION_LZW, 0);
  WriteTiff(dir + "/rgb8-lzw.tif", 7, 5, 3, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, 0);
  WriteTiff(dir + "/rgba-straight.tif", 6, 4, 4, 8, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE,
            EXTRASAMPLE_UNASSALPHA);
  WriteTiff(dir + "/rgba-associated16.tif", 6, 4, 4, 16, PHOTOMETRIC_RGB, COMPRESSION_NONE,
            EXTRASAMPLE_ASSOCALPHA);
  WriteTiledTiff(dir + "/rgb8-tiles-turned.tif", 20, 17);
}

// Every format's seeds, in the order of the format table, whose index is the
// first byte of a conversion seed.
void WriteConvertSeeds(const std::filesystem::path& dir) {
  const auto formats = tolvane::InputFormats();
  for (std::size_t index = 0; index < formats.size(); ++index) {
    const std::filesystem::path folder = dir / std::string(formats[index].name);
    if (!std::filesystem::is_directory(folder)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(index)};
      bytes.insert(bytes.end(), std::istreambuf_iterator<char>(in),
                   std::istreambuf_iterator<char>());
      const std::string name = std::to_string(index) + "-" + entry.path().filename().string();
      Save((dir / "convert" / name).string(), bytes);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--convert") {
    WriteConvertSeeds(argv[2]);
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds FOLDER | make_seeds --convert FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1];
  WriteBmps(dir + "/bmp");
  WritePngs(dir + "/png");
  WriteJpegs(dir + "/jpeg");
  WriteTiffs(dir + "/tiff");
  return 0;
}
