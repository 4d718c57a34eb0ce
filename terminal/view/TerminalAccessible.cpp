#include "terminal/view/TerminalAccessible.h"

#include <algorithm>

#include "terminal/view/Terminal.h"

namespace terminal {
namespace {

QAccessibleInterface* TerminalFactory(const QString& className, QObject* object) {
  // The view declares no meta-object of its own.
  if (className != QLatin1String("QAbstractScrollArea")) return nullptr;
  auto* view = dynamic_cast<TAdTerminal*>(object);
  return view ? new TerminalAccessible(view) : nullptr;
}

}  // namespace

void InstallTerminalAccessible() {
  static const bool installed = [] {
    QAccessible::installFactory(&TerminalFactory);
    return true;
  }();
  (void)installed;
}

int ScreenText::OffsetOf(ScreenRow row, Column col) const {
  int index = row - firstRow;
  if (index < 0) return 0;
  if (index >= int(rowStarts.size()) - 1) return int(text.size());
  int start = rowStarts[std::size_t(index)];
  int length = rowStarts[std::size_t(index) + 1] - 1 - start;
  return start + std::clamp(IndexOf(col).Value(), 0, length);
}

ScreenText ShownText(TAdTerminal& view) {
  const TAdTerminalBuffer& buffer = view.ActiveEmulator().Buffer();
  ScreenText shown{QString(), view.TopRow(), {}};
  ScreenRow end = std::min(view.TopRow() + view.ClientRows(), buffer.BottomRow() + 1);
  for (ScreenRow row = view.TopRow(); row < end; ++row) {
    shown.rowStarts.push_back(int(shown.text.size()));
    const std::uint8_t* chars = buffer.RowChars(row);
    int length = chars ? buffer.ColCount() : 0;
    while (length > 0 && chars[length - 1] == buffer.BlankChar()) --length;
    // The caret's row keeps the blanks up to the caret, where typing goes.
    if (row == buffer.CursorRow()) length = std::max(length, IndexOf(buffer.CursorCol()).Value());
    shown.text += QString::fromLatin1(reinterpret_cast<const char*>(chars), length);
    shown.text += QLatin1Char('\n');
  }
  shown.rowStarts.push_back(int(shown.text.size()));
  return shown;
}

void AnnounceScreen(TAdTerminal& view, QString& announced) {
  if (!QAccessible::isActive()) return;
  ScreenText shown = ShownText(view);
  if (shown.text != announced) {
    QAccessibleTextUpdateEvent update(&view, 0, announced, shown.text);
    QAccessible::updateAccessibility(&update);
    announced = shown.text;
  }
  const TAdTerminalBuffer& buffer = view.ActiveEmulator().Buffer();
  QAccessibleTextCursorEvent caret(&view, shown.OffsetOf(buffer.CursorRow(), buffer.CursorCol()));
  QAccessible::updateAccessibility(&caret);
}

TerminalAccessible::TerminalAccessible(TAdTerminal* view)
    : QAccessibleWidget(view, QAccessible::Terminal) {}

TAdTerminal& TerminalAccessible::View() const {
  return *static_cast<TAdTerminal*>(widget());
}

void* TerminalAccessible::interface_cast(QAccessible::InterfaceType type) {
  if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
  return QAccessibleWidget::interface_cast(type);
}

QString TerminalAccessible::text(QAccessible::Text kind) const {
  if (kind == QAccessible::Value) return ShownText(View()).text;
  if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
    return QStringLiteral("Terminal");
  return QAccessibleWidget::text(kind);
}

void TerminalAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const {
  *startOffset = *endOffset = 0;
  TAdTerminal& view = View();
  if (selectionIndex != 0 || !view.HasSelection()) return;
  ScreenText shown = ShownText(view);
  *startOffset = shown.OffsetOf(view.SelectionStart().row, view.SelectionStart().col);
  // The end cell is part of the selection.
  *endOffset = shown.OffsetOf(view.SelectionEnd().row, view.SelectionEnd().col + 1);
}

int TerminalAccessible::selectionCount() const {
  int start = 0, end = 0;
  selection(0, &start, &end);
  return end > start ? 1 : 0;
}

int TerminalAccessible::cursorPosition() const {
  const TAdTerminalBuffer& buffer = View().ActiveEmulator().Buffer();
  return ShownText(View()).OffsetOf(buffer.CursorRow(), buffer.CursorCol());
}

QString TerminalAccessible::text(int startOffset, int endOffset) const {
  QString text = ShownText(View()).text;
  startOffset = std::clamp(startOffset, 0, int(text.size()));
  endOffset = std::clamp(endOffset, startOffset, int(text.size()));
  return text.mid(startOffset, endOffset - startOffset);
}

int TerminalAccessible::characterCount() const {
  return int(ShownText(View()).text.size());
}

QRect TerminalAccessible::characterRect(int offset) const {
  TAdTerminal& view = View();
  ScreenText shown = ShownText(view);
  auto next = std::upper_bound(shown.rowStarts.begin(), shown.rowStarts.end(), offset);
  if (offset < 0 || next == shown.rowStarts.begin() || next == shown.rowStarts.end()) return {};
  int index = int(next - shown.rowStarts.begin()) - 1;
  Column col = Column(1) + (offset - shown.rowStarts[std::size_t(index)]);
  QPoint topLeft((col - view.LeftCol()) * view.CharWidth(), index * view.CharHeight());
  return QRect(view.viewport()->mapToGlobal(topLeft), QSize(view.CharWidth(), view.CharHeight()));
}

int TerminalAccessible::offsetAtPoint(const QPoint& point) const {
  TAdTerminal& view = View();
  QPoint local = view.viewport()->mapFromGlobal(point);
  if (!view.viewport()->rect().contains(local)) return -1;
  return ShownText(view).OffsetOf(view.TopRow() + local.y() / view.CharHeight(),
                                  view.LeftCol() + local.x() / view.CharWidth());
}

QString TerminalAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
  *startOffset = *endOffset = offset;
  return QString();
}

}  // namespace terminal
