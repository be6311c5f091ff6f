#include "support/paths.h"

namespace tolvane {

namespace {

std::size_t AfterLastSeparator(std::string_view path, Separators separators) {
  const std::size_t at = path.find_last_of(separators.characters);
  return at == std::string_view::npos ? 0 : at + 1;
}

}  // namespace

std::string ExtensionOf(std::string_view path, Separators separators) {
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || dot < AfterLastSeparator(path, separators)) return {};
  return std::string(path.substr(dot));
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string NameOf(std::string_view path, Separators separators) {
  return std::string(path.substr(AfterLastSeparator(path, separators)));
}

}  // namespace tolvane
