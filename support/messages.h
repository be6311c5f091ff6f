#pragma once

// Every text the user can see, in one place. All texts are UTF-8.

#include <string>
#include <string_view>

namespace tolvane::messages {

// Files.
std::string CannotOpenFile(std::string_view path, std::string_view osText);
std::string CannotCreateFile(std::string_view path, std::string_view osText);
std::string OutputIsInput(std::string_view outputPath);
inline constexpr std::string_view kReadError = "ストリームからの読み取りエラー";
inline constexpr std::string_view kWriteError = "ストリームへの書き込みエラー";

// Memory and rasters.
inline constexpr std::string_view kSystemResourcesLow = "システム リソース不足です";
inline constexpr std::string_view kOutOfMemory = "メモリが足りません";
inline constexpr std::string_view kInvalidPixelFormat = "ピクセル形式が無効です";
inline constexpr std::string_view kScanLineOutOfRange = "スキャン ライン インデックスが範囲外です";

// Conversion.
std::string SizeLine(int width, int height);        // "4000 x 3000"
std::string OutputSizeLine(int width, int height);  // "> 2048 x 1536"
std::string OutputPathLine(std::string_view path);  // "> C:\pics\photo_2048.png"
std::string ReducedSideZero(int width, int height);

// BMP.
inline constexpr std::string_view kInvalidBitmap = "ビットマップ画像が無効です";

// PNG.
inline constexpr std::string_view kPngInvalidSignature =
    "読み取られたファイルは有効な \"Portable Network Graphics\" 画像ではありません。"
    "無効なヘッダーが含まれるからです。 このファイルは破損している可能性があります。"
    "取得をやり直してください。";
inline constexpr std::string_view kPngUnexpectedEnd =
    "この \"Portable Network Graphics\" 画像は無効です。デコーダが予期しないファイルの終端を"
    "検出したためです。";
inline constexpr std::string_view kPngIhdrNotFirst =
    "\"Portable Network Graphics\" 画像はサポートされていない、あるいは無効です\r\n"
    "(IHDR チャンクが最初にありません)。";
inline constexpr std::string_view kPngUnknownCriticalChunk =
    "この \"Portable Network Graphics\" 画像には不明な必須部分が含まれ、デコードできませんでした。";
inline constexpr std::string_view kPngNoImageData =
    "この \"Portable Network Graphics\" 画像にはデータが含まれていません。";
inline constexpr std::string_view kPngCrcError =
    "この \"Portable Network Graphics\" 画像は有効ではありません。不正なデータが含まれるからです "
    "(CRC エラー)";
inline constexpr std::string_view kPngInvalidIhdr =
    "\"Portable Network Graphics\" 画像を読み込めませんでした。データのメイン部分の 1 つ (IHDR) "
    "が破損している可能性があるからです。";
inline constexpr std::string_view kPngSizeTooLarge =
    "この \"Portable Network Graphics\" 画像はサポートされていません。幅または高さが最大値 "
    "(65535 ピクセル) を超えているからです。";
inline constexpr std::string_view kPngUnknownCompression =
    "この \"Portable Network Graphics\" 画像は不明な圧縮方式でエンコードされていて、"
    "デコードできませんでした。";
inline constexpr std::string_view kPngUnknownInterlace =
    "この \"Portable Network Graphics\" 画像は不明なインタレース方式を使用していて、"
    "デコードできませんでした。";
inline constexpr std::string_view kPngUnknownColorType =
    "この\"ポータブル ネットワーク グラフィック\"イメージは、未知のカラー型を使用しており、"
    "デコードできませんでした。";
inline constexpr std::string_view kPngInvalidBitDepth =
    "この\"ポータブル ネットワーク グラフィック\"イメージは、不正なイメージ ビット深度を使用して"
    "いるため、読み込むことができませんでした。";
inline constexpr std::string_view kPngInvalidPalette =
    "\"Portable Network Graphics\" 画像に不正なパレットが含まれます。";
inline constexpr std::string_view kPngMissingImagePart =
    "この \"Portable Network Graphics\" 画像は無効です。画像部分がないからです。";
inline constexpr std::string_view kPngNoPaletteEntry = "対応するパレット エントリがありません。";
inline constexpr std::string_view kPngDrawResourcesLow =
    "一部の操作が実行されませんでした。システムのリソースが不足しているためです。"
    "一部のウィンドウを閉じてやり直してください。";
// zlib's negative results -6 to -1, Z_STREAM_END (1) where the stream ends
// before the image does, and Z_NEED_DICT (2) for a stream that wants a preset
// dictionary.
std::string PngInflateError(int zlibResult);

// JPEG.
std::string JpegError(int code);  // "JPEG エラー #%d"

// TIFF.
inline constexpr std::string_view kInvalidStreamFormat = "ストリーム形式が無効です";

// The window.
inline constexpr std::string_view kWindowCaption = "Tolvane 1.1 ('25/09/19)";
inline constexpr std::string_view kLogInstructions[4] = {
    "PNG, JPG,TIF, BMP ファイルをドラッグ＆ドロップ",
    "サイズが 2048 を超えるときのみ 2048 以下に縮小",
    "ファイル名に \"_2048\"  を追加して、PNG, BMP に",
    "保存します",
};
inline constexpr std::string_view kThemeName = "Windows10 Dark";
inline constexpr std::string_view kThemeErrorCaption = "エラー";
std::string ThemeNotFound(std::string_view themeName);

// The command line.
inline constexpr std::string_view kCliUsage =
    "usage: tolvane-cli convert [-j N] FILE...\n"
    "       tolvane-cli raster FILE OUT.png\n"
    "       tolvane-cli preview FILE OUT.png [--dpi N]\n"
    "       tolvane-cli --help | --version\n";
std::string CliVersion(std::string_view version);  // "tolvane-cli 1.0.0"
// `extensions`: the handled ones, as ".jpg, .jpeg, .tif, .tiff, .png or .bmp".
std::string CliNoReader(std::string_view path, std::string_view extensions);

}  // namespace tolvane::messages
