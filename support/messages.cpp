#include "support/messages.h"

#include <array>

namespace tolvane::messages {

namespace {

std::string Concat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) out += part;
  return out;
}

}  // namespace

std::string CannotOpenFile(std::string_view path, std::string_view osText) {
  return Concat({"ファイル ", path, " は開けません。 ", osText, " "});
}

std::string CannotCreateFile(std::string_view path, std::string_view osText) {
  return Concat({"ファイル \"", path, "\" を作成できません。", osText});
}

std::string OutputIsInput(std::string_view outputPath) {
  return Concat({"出力ファイル \"", outputPath, "\" は入力ファイルと同じため、保存できません"});
}

std::string SizeLine(int width, int height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

std::string OutputSizeLine(int width, int height) { return "> " + SizeLine(width, height); }

std::string OutputPathLine(std::string_view path) { return Concat({"> ", path}); }

std::string ReducedSideZero(int width, int height) {
  return "縮小後の幅または高さが 0 になるため、保存できません (" + SizeLine(width, height) + ")";
}

std::string PngInflateError(int zlibResult) {
  static constexpr std::array<std::string_view, 6> kNegative = {
      "incompatible version (-6)", "buffer error (-5)", "insufficient memory (-4)",
      "data error (-3)",           "stream error (-2)", "file error (-1)"};
  std::string_view description;
  if (zlibResult >= -6 && zlibResult <= -1) {
    description = kNegative[static_cast<size_t>(zlibResult + 6)];
  } else if (zlibResult == 1) {
    description = "stream end (1)";
  } else if (zlibResult == 2) {
    description = "need dictionary (2)";
  }
  return Concat(
      {"画像を解凍できませんでした。不正な圧縮データが含まれるためです。\r\n 説明: ", description});
}

std::string JpegError(int code) { return "JPEG エラー #" + std::to_string(code); }

std::string ThemeNotFound(std::string_view themeName) {
  return Concat({"スタイル '", themeName, "' が見つかりません"});
}

std::string CliVersion(std::string_view version) { return Concat({"tolvane-cli ", version}); }

std::string CliNoReader(std::string_view path, std::string_view extensions) {
  return Concat({"tolvane-cli: no reader for the extension of \"", path, "\" (", extensions, ")"});
}

}  // namespace tolvane::messages
