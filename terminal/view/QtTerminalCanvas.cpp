#include "terminal/view/QtTerminalCanvas.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>
#include <QWidget>
#include <algorithm>
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

// Glyphs drawn by one call.
constexpr int kGlyphBatch = 256;

}  // namespace

QColor ResolveColor(TerminalColor color, const QPalette& palette) {
  if (!IsSystemColor(color)) return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
  for (const auto& [index, role] : kSystemColorRoles)
    if (index == SystemColorIndex(color)) return palette.color(role);
  return palette.color(QPalette::Base);
}

RunFont::RunFont(const QFont& font) : raw(QRawFont::fromFont(font)) {
  ascent = QFontMetrics(font).ascent();
  if (!raw.isValid()) return;
  // Bytes are Latin-1 characters, as the terminal shows them.
  std::array<QChar, 256> chars;
  for (int byte = 0; byte < 256; ++byte) chars[std::size_t(byte)] = QChar(byte);
  int count = 256;
  raw.glyphIndexesForChars(chars.data(), 256, glyphs.data(), &count);
}

PainterCanvas::PainterCanvas(QPainter& painter, const RunFont& font, const QPalette& palette,
                             const QRect& clip)
    : painter_(painter), font_(font), palette_(palette), clip_(clip) {}

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
  if (!font_.raw.isValid()) {
    QString chars = QString::fromLatin1(text, length);
    for (int i = 0, left = x; i < length; left += advances[i++])
      painter_.drawText(QPoint(left, y + font_.ascent), chars.at(i));
    return;
  }
  // Glyphs and positions from the tables, without a string or a list per
  // run; a run longer than the arrays goes in pieces.
  std::array<quint32, kGlyphBatch> glyphs;
  std::array<QPointF, kGlyphBatch> positions;
  QGlyphRun run;
  run.setRawFont(font_.raw);
  for (int first = 0, left = 0; first < length; first += kGlyphBatch) {
    int count = std::min(length - first, kGlyphBatch);
    for (int i = 0; i < count; left += advances[first + i++]) {
      glyphs[std::size_t(i)] = font_.glyphs[static_cast<std::uint8_t>(text[first + i])];
      positions[std::size_t(i)] = QPointF(left, font_.ascent);
    }
    run.setRawData(glyphs.data(), positions.data(), count);
    painter_.drawGlyphRun(QPointF(x, y), run);
  }
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
