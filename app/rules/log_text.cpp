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

}  // namespace tolvane::window
