#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvane::window {

// The log's first text: the instruction lines, each followed by `lineEnd`.
std::string InstructionText(std::string_view lineEnd);

// The log's text as its edit buffer holds it: lines separated by CR LF, with
// a caret. The widget applies the same rules to its own buffer.
class LogText {
 public:
  LogText() = default;
  explicit LogText(std::string text) : text_(std::move(text)) {}

  const std::string& Text() const { return text_; }
  // A byte offset into Text().
  std::size_t Caret() const { return caret_; }

  // The text becomes empty; the caret stands at 0.
  void Clear();

  // Inserts line and CR LF at the start of the last line; the caret ends
  // after them, at the start of the (empty) last line.
  void Append(std::string_view line);

  // Where the last line starts: after the last line break, or 0. In code
  // units of whichever encoding the edit buffer holds.
  static std::size_t LastLineStart(std::string_view text) { return LastLineStartOf(text); }
  static std::size_t LastLineStart(std::wstring_view text) { return LastLineStartOf(text); }

 private:
  template <typename Char>
  static std::size_t LastLineStartOf(std::basic_string_view<Char> text) {
    const std::size_t lineFeed = text.find_last_of(Char('\n'));
    return lineFeed == std::basic_string_view<Char>::npos ? 0 : lineFeed + 1;
  }

  std::string text_;
  std::size_t caret_ = 0;
};

}  // namespace tolvane::window
