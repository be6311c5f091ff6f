#pragma once

#include <QPlainTextEdit>
#include <string>

#include "convert/seams.h"

namespace tolvane::app {

// Memo1: the status log. Several lines, never wrapped, both scroll bars,
// editable; Enter inserts nothing; Tab moves the focus on.
class LogWidget : public QPlainTextEdit, public Log {
  Q_OBJECT

 public:
  explicit LogWidget(QWidget* parent = nullptr);

  void Clear() override;
  // The line and a line break at the start of the last line; the caret
  // ends after them and is scrolled into view, back at the first column.
  void Append(std::string_view line) override;

  // The edit buffer as UTF-8 with CR LF line ends.
  std::string Text() const;
  // The caret as a character position in the buffer with CR LF line ends.
  int CaretPosition() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace tolvane::app
