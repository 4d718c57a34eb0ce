// The view's keyboard, mouse selection, clipboard copy and timer.
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <string>

#include "serial/ExceptionDisplay.h"
#include "terminal/view/Terminal.h"
#include "terminal/view/TerminalKeys.h"

namespace terminal {
namespace {

unsigned ShiftBits(Qt::KeyboardModifiers modifiers) {
  unsigned bits = 0;
  if (modifiers & Qt::ShiftModifier) bits |= kShiftKey;
  if (modifiers & Qt::ControlModifier) bits |= kCtrlKey;
  if (modifiers & Qt::AltModifier) bits |= kAltKey;
  return bits;
}

bool IsNavigationKey(int key) {
  return key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Left ||
         key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

}  // namespace

bool TAdTerminal::focusNextPrevChild(bool next) {
  // Tab reaches keyPressEvent only when focus navigation declines it.
  return wantAllKeys_ ? false : QAbstractScrollArea::focusNextPrevChild(next);
}

// Sending may fail (the output ring is full while flow control holds the
// line, or during a loopback test), and so may the key events' handlers.
void TAdTerminal::keyPressEvent(QKeyEvent* event) {
  serial::RunUserAction([this, event] { KeyPressed(event); });
}

void TAdTerminal::KeyPressed(QKeyEvent* event) {
  // What arrived before the key comes before its local echo.
  if (DrainQueue() && !useLazyDisplay_) ScheduleFrame();
  int key = event->key();
  Qt::KeyboardModifiers modifiers =
      event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  if (key == Qt::Key_Escape && mouseSelecting_) {
    CancelSelection();
    return;
  }
  if (modifiers == Qt::ControlModifier && (key == Qt::Key_C || key == Qt::Key_Insert) &&
      hasSelection_) {
    Copy();
    return;
  }
  if (!wantAllKeys_ && IsNavigationKey(key)) {
    event->ignore();  // left to the dialog around the view
    return;
  }
  if (!IsModifierKey(key)) {
    int emulatorKey = key;
    ActiveEmulator().KeyDown(emulatorKey, ShiftBits(modifiers));
    if (emulatorKey == 0) return;
  }
  if (OnKeyDown) {
    int handlerKey = key;
    OnKeyDown(this, handlerKey, modifiers);
  }
  int character = CharacterForKey(key, modifiers, event->text());
  if (character < 0) return;
  std::uint8_t ch = std::uint8_t(character);
  if (OnKeyPress) OnKeyPress(this, ch);
  if (ch != 0) ActiveEmulator().KeyPress(ch);
}

QPoint TAdTerminal::ClampToCellArea(QPoint point) const {
  QRect area = CellArea();
  return QPoint(std::clamp(point.x(), 0, std::max(0, area.right())),
                std::clamp(point.y(), 0, std::max(0, area.bottom())));
}

TAdTerminal::CellPos TAdTerminal::CellAt(QPoint point) const {
  return {std::clamp(leftCol_ + point.x() / cellWidth_, Column(1), ScreenBuffer().LastColumn()),
          std::clamp(topRow_ + point.y() / cellHeight_, ScreenBuffer().OldestRow(),
                     ScreenBuffer().BottomRow())};
}

void TAdTerminal::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  setFocus(Qt::MouseFocusReason);
  ClearSelection();
  lastMousePos_ = event->position().toPoint();
  anchor_ = CellAt(ClampToCellArea(lastMousePos_));
  selStart_ = selEnd_ = anchor_;
  mouseSelecting_ = true;
}

void TAdTerminal::mouseMoveEvent(QMouseEvent* event) {
  if (!mouseSelecting_) return;
  lastMousePos_ = event->position().toPoint();
  ExtendSelection(lastMousePos_);
}

void TAdTerminal::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) mouseSelecting_ = false;
}

void TAdTerminal::ExtendSelection(QPoint point) {
  CellPos moving = CellAt(ClampToCellArea(point));
  bool movingFirst =
      moving.row < anchor_.row || (moving.row == anchor_.row && moving.col < anchor_.col);
  CellPos start = movingFirst ? moving : anchor_;
  CellPos end = movingFirst ? anchor_ : moving;
  MarkSelection(start, end, hasSelection_ ? selStart_ : start, hasSelection_ ? selEnd_ : end);
  selStart_ = start;
  selEnd_ = end;
  hasSelection_ = true;
}

void TAdTerminal::MarkSelection(CellPos start, CellPos end, CellPos oldStart, CellPos oldEnd) {
  TAdTerminalBuffer& screen = ScreenBuffer();
  Column lastColumn = screen.LastColumn();
  for (ScreenRow row = std::min(start.row, oldStart.row); row <= std::max(end.row, oldEnd.row);
       ++row) {
    bool inside = row >= start.row && row <= end.row;
    Column first = inside && row == start.row ? start.col : Column(1);
    Column last = inside && row == end.row ? end.col : lastColumn;
    bool changed = false;
    if (!inside) {
      changed = screen.ChangeAttrBits(row, Column(1), lastColumn, kAttrSelected, false);
    } else {
      changed |= screen.ChangeAttrBits(row, Column(1), first - 1, kAttrSelected, false);
      changed |= screen.ChangeAttrBits(row, first, last, kAttrSelected, true);
      changed |= screen.ChangeAttrBits(row, last + 1, lastColumn, kAttrSelected, false);
    }
    if (changed) InvalidateRow(row);
  }
}

void TAdTerminal::ClearSelection() {
  // Every row is swept: scrolling may have carried marks away from the rows
  // the selection was made on.
  TAdTerminalBuffer& screen = ScreenBuffer();
  for (ScreenRow row = screen.OldestRow(); row <= screen.BottomRow(); ++row)
    if (screen.ChangeAttrBits(row, Column(1), screen.LastColumn(), kAttrSelected, false))
      InvalidateRow(row);
  hasSelection_ = false;
  anchor_ = selStart_ = selEnd_ = CellPos{};
}

void TAdTerminal::CancelSelection() {
  if (hasSelection_) ClearSelection();
  mouseSelecting_ = false;
}

void TAdTerminal::Copy() {
  if (!hasSelection_) return;
  const TAdTerminalBuffer& screen = ScreenBuffer();
  std::string text;
  for (ScreenRow row = selStart_.row; row <= selEnd_.row; ++row) {
    const std::uint8_t* chars = screen.RowChars(row);
    Column first = row == selStart_.row ? selStart_.col : Column(1);
    Column last = row == selEnd_.row ? selEnd_.col : screen.LastColumn();
    if (chars && first <= last)
      text.append(chars + IndexOf(first).Value(), chars + IndexOf(last).Value() + 1);
    text += "\r\n";
  }
  QGuiApplication::clipboard()->setText(QString::fromLatin1(text.data(), qsizetype(text.size())));
}

void TAdTerminal::TimerTick() {
  if (mouseSelecting_) {
    QPoint point = lastMousePos_;
    QSize client = viewport()->size();
    if (horizontalBarShown_ && point.x() < 0)
      horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (horizontalBarShown_ && point.x() >= client.width())
      horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (point.y() < 0)
      verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.y() >= client.height())
      verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    ExtendSelection(point);
  }
  if (useLazyDisplay_ && ActiveEmulator().RepaintPending()) RepaintChanges();
}

}  // namespace terminal
