#include "support/report.h"

namespace tolvane {

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > 0x2E) text += '.';
  return text;
}

std::string InnermostMessage(const std::exception& failure) {
  std::string message = failure.what();
  try {
    std::rethrow_if_nested(failure);
  } catch (const std::exception& inner) {
    std::string innerMessage = InnermostMessage(inner);
    if (!innerMessage.empty()) message = std::move(innerMessage);
  } catch (...) {}
  return message;
}

}  // namespace tolvane
