#pragma once

#include <windows.h>

#include <string_view>

#include "convert/seams.h"

namespace tolvane::win32 {

// Memo1: the status log, a multi-line EDIT control with both scroll bars
// whose lines are never wrapped.
class LogControl : public Log {
 public:
  // Created with the instruction lines, set as one text: the log opens at
  // the top with the caret before the first character.
  void Create(HWND parent, HINSTANCE instance, int id);
  HWND Handle() const { return window_; }

  // The text becomes empty and the log scrolls to the top.
  void Clear() override;
  // The line and CR LF at the start of the last line; the caret ends after
  // them and is scrolled into view, back at the first column.
  void Append(std::string_view line) override;

 private:
  HWND window_ = nullptr;
};

}  // namespace tolvane::win32
