// What assistive technology reads of a terminal view: a terminal whose text
// is the screen rows the view shows (history rows too while it is scrolled
// back), each without its trailing blanks and ended by a line feed, with the
// caret at the buffer's cursor and the mouse selection. Text changes are
// announced when the view repaints what it received. GUI thread only.
#pragma once

#include <QAccessibleWidget>
#include <QString>
#include <vector>

#include "terminal/TerminalCoords.h"

namespace terminal {

class TAdTerminal;

// Makes every TAdTerminal answer with a TerminalAccessible; once per process.
void InstallTerminalAccessible();

// Tells assistive technology what changed since `announced`, the text it
// heard last, and updates it. Nothing while no such client listens.
void AnnounceScreen(TAdTerminal& view, QString& announced);

// The shown rows as text, with where each row starts in it.
struct ScreenText {
  QString text;
  ScreenRow firstRow;
  std::vector<int> rowStarts;  // one per shown row, and the text's length
  // The offset of a buffer cell, clamped into the text.
  int OffsetOf(ScreenRow row, Column col) const;
};
ScreenText ShownText(TAdTerminal& view);

class TerminalAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit TerminalAccessible(TAdTerminal* view);

  void* interface_cast(QAccessible::InterfaceType type) override;
  QString text(QAccessible::Text kind) const override;

  // QAccessibleTextInterface. The text is read-only and its selection
  // follows the mouse only.
  void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
  int selectionCount() const override;
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override;
  void setCursorPosition(int) override {}
  QString text(int startOffset, int endOffset) const override;
  int characterCount() const override;
  QRect characterRect(int offset) const override;
  int offsetAtPoint(const QPoint& point) const override;
  void scrollToSubstring(int, int) override {}
  QString attributes(int offset, int* startOffset, int* endOffset) const override;

 private:
  TAdTerminal& View() const;
};

}  // namespace terminal
