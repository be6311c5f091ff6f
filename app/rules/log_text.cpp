#include "app/rules/log_text.h"

namespace tolvane::window {

void LogText::Clear() {
  text_.clear();
  caret_ = 0;
}

void LogText::Append(std::string_view line) {
  const std::size_t at = LastLineStart(text_);
  std::string inserted(line);
  inserted += "\r\n";
  text_.insert(at, inserted);
  caret_ = at + inserted.size();
}

std::size_t LogText::LastLineStart(std::string_view text) {
  const std::size_t lineFeed = text.find_last_of('\n');
  return lineFeed == std::string_view::npos ? 0 : lineFeed + 1;
}

}  // namespace tolvane::window
