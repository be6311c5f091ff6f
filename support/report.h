#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace tolvane {

// The text the error box shows for a failure's message: the message with "."
// appended, unless it is empty or ends in a character from U+0000 to U+002E
// (space, punctuation such as "!" or ")", digits are not among them). The
// message is UTF-8, so a last byte of 0x80 or above ends a character beyond
// that range and gets the period.
std::string ErrorBoxText(std::string_view message);

// The message of the innermost nested failure, unless that one is empty;
// else the failure's own.
std::string InnermostMessage(const std::exception& failure);

}  // namespace tolvane
