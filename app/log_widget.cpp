#include "app/log_widget.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "app/rules/log_text.h"

namespace tolvane::app {

LogWidget::LogWidget(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setTabChangesFocus(true);
  // Set as a whole, so the log opens at the top with the caret before the
  // first character.
  setPlainText(QString::fromStdString(window::InstructionText("\n")));
  moveCursor(QTextCursor::Start);
}

void LogWidget::Clear() { clear(); }

void LogWidget::Append(std::string_view line) {
  // The line goes where the log's text rule puts it: the start of the last line.
  const std::string text = toPlainText().toStdString();
  const std::size_t at = window::LogText::LastLineStart(text);
  QTextCursor cursor(document());
  cursor.setPosition(
      static_cast<int>(QString::fromUtf8(text.data(), static_cast<qsizetype>(at)).size()));
  cursor.insertText(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())) +
                    QLatin1Char('\n'));
  setTextCursor(cursor);
  ensureCursorVisible();
  horizontalScrollBar()->setValue(horizontalScrollBar()->minimum());
}

std::string LogWidget::Text() const {
  QString text = toPlainText();
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return text.toStdString();
}

int LogWidget::CaretPosition() const {
  // Every block before the caret's adds one CR to the plain position.
  const QTextCursor cursor = textCursor();
  return cursor.position() + cursor.blockNumber();
}

void LogWidget::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->ignore();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

}  // namespace tolvane::app
