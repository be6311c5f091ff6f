#include "app/rules/app_title.h"

#include <algorithm>

namespace tolvane::window {

namespace {

// Bytes in the UTF-8 sequence that starts with lead.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

}  // namespace

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string ApplicationTitle(std::string_view executablePath, Separators separators,
                             const LowerCase& lower) {
  std::string name = NameOf(executablePath, separators);
  name = name.substr(0, name.find('.'));
  if (name.empty()) return name;
  const std::size_t first =
      std::min(SequenceLength(static_cast<unsigned char>(name[0])), name.size());
  return name.substr(0, first) + lower(std::string_view(name).substr(first));
}

}  // namespace tolvane::window
