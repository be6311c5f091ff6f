#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace tolvane {

// The text of the error box for a failure message: a "." is appended unless
// the message is empty or ends in a character from U+0000 to U+002E.
std::string ErrorBoxText(std::string_view message);

// The message of the innermost nested failure, unless that one is empty;
// else the failure's own.
std::string InnermostMessage(const std::exception& failure);

}  // namespace tolvane
