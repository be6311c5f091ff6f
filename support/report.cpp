#include "support/report.h"

namespace tolvane {

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  if (text.empty()) return text;
  // The last byte of UTF-8 text is ASCII exactly when its last character is;
  // every non-ASCII character lies above U+002E.
  const auto last = static_cast<unsigned char>(text.back());
  if (last > 0x2E) text += '.';
  return text;
}

std::string InnermostMessage(const std::exception& failure) {
  std::string message = failure.what();
  try {
    std::rethrow_if_nested(failure);
  } catch (const std::exception& inner) {
    std::string innerMessage = InnermostMessage(inner);
    if (!innerMessage.empty()) message = std::move(innerMessage);
  } catch (...) {
  }
  return message;
}

}  // namespace tolvane
