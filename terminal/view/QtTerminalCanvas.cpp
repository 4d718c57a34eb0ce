#include "terminal/view/QtTerminalCanvas.h"

#include <QGlyphRun>
#include <QPainter>
#include <QWidget>
#include <array>
#include <utility>

namespace terminal {
namespace {

// The system colour indexes the view knows, with the palette role that
// plays the same part here.
constexpr std::array<std::pair<int, QPalette::ColorRole>, 12> kSystemColorRoles{{
    {1, QPalette::Window},      // desktop background
    {4, QPalette::Window},      // menu
    {5, QPalette::Base},        // window background
    {7, QPalette::WindowText},  // menu text
    {8, QPalette::Text},        // window text
    {13, QPalette::Highlight},
    {14, QPalette::HighlightedText},
    {15, QPalette::Button},
    {16, QPalette::Dark},
    {18, QPalette::ButtonText},
    {20, QPalette::Light},
    {24, QPalette::ToolTipBase},
}};

}  // namespace

QColor ResolveColor(TerminalColor color, const QPalette& palette) {
  if (!IsSystemColor(color)) return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
  for (const auto& [index, role] : kSystemColorRoles)
    if (index == SystemColorIndex(color)) return palette.color(role);
  return palette.color(QPalette::Base);
}

PainterCanvas::PainterCanvas(QPainter& painter, const QRawFont& font, int ascent,
                             const QPalette& palette, const QRect& clip)
    : painter_(painter), font_(font), ascent_(ascent), palette_(palette), clip_(clip) {}

PixelRect PainterCanvas::ClipRect() const {
  return {clip_.left(), clip_.top(), clip_.right() + 1, clip_.bottom() + 1};
}

void PainterCanvas::DrawRun(int x, int y, const char* text, int length,
                            const std::int32_t* advances, int cellHeight, TerminalColor fore,
                            TerminalColor back) {
  int width = 0;
  for (int i = 0; i < length; ++i) width += advances[i];
  painter_.fillRect(QRect(x, y, width, cellHeight), ResolveColor(back, palette_));
  painter_.setPen(ResolveColor(fore, palette_));
  QString chars = QString::fromLatin1(text, length);
  if (!font_.isValid()) {
    for (int i = 0, left = x; i < length; left += advances[i++])
      painter_.drawText(QPoint(left, y + ascent_), chars.at(i));
    return;
  }
  QList<quint32> glyphs = font_.glyphIndexesForString(chars);
  QList<QPointF> positions;
  positions.reserve(glyphs.size());
  for (int i = 0, left = 0; i < glyphs.size() && i < length; left += advances[i++])
    positions.append(QPointF(left, ascent_));
  QGlyphRun run;
  run.setRawFont(font_);
  run.setGlyphIndexes(glyphs.mid(0, positions.size()));
  run.setPositions(positions);
  painter_.drawGlyphRun(QPointF(x, y), run);
}

PixelRect InvalidatingCanvas::ClipRect() const {
  return {area_.left(), area_.top(), area_.right() + 1, area_.bottom() + 1};
}

void InvalidatingCanvas::DrawRun(int x, int y, const char*, int length,
                                 const std::int32_t* advances, int cellHeight, TerminalColor,
                                 TerminalColor) {
  int width = 0;
  for (int i = 0; i < length; ++i) width += advances[i];
  widget_.update(QRect(x, y, width, cellHeight) & area_);
}

}  // namespace terminal
