#include "app/rules/log_text.h"

#include "support/messages.h"

namespace tolvane::window {

std::string InstructionText(std::string_view lineEnd) {
  std::string text;
  for (std::string_view line : messages::kLogInstructions) {
    text += line;
    text += lineEnd;
  }
  return text;
}

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
