// The terminal view's two canvases and its colour mapping.
//
// PainterCanvas draws runs with a QPainter during a paint event: an opaque
// background per run and every glyph placed at its cell, whatever the font's
// own advances. InvalidatingCanvas stands in while the emulator repaints
// what changed outside a paint event: it marks the runs' rectangles for the
// next paint, which Qt merges into one. GUI thread only.
#pragma once

#include <QFont>
#include <QPalette>
#include <QRawFont>
#include <QRect>
#include <array>

#include "terminal/TerminalCanvas.h"

class QPainter;
class QWidget;

namespace terminal {

// RGB with red in the low byte as it is; a system-colour code from the
// palette.
QColor ResolveColor(TerminalColor color, const QPalette& palette);

// The view's font made ready for drawing runs: as a raw font, with its
// baseline and the glyph of every byte looked up once. The raw font may be
// invalid: glyphs are then drawn one by one with the painter's font.
struct RunFont {
  RunFont() = default;
  explicit RunFont(const QFont& font);

  QRawFont raw;
  int ascent = 0;
  std::array<quint32, 256> glyphs{};
};

class PainterCanvas : public TerminalCanvas {
 public:
  PainterCanvas(QPainter& painter, const RunFont& font, const QPalette& palette, const QRect& clip);

  PixelRect ClipRect() const override;
  void DrawRun(int x, int y, const char* text, int length, const std::int32_t* advances,
               int cellHeight, TerminalColor fore, TerminalColor back) override;

 private:
  QPainter& painter_;
  const RunFont& font_;
  const QPalette& palette_;
  QRect clip_;
};

class InvalidatingCanvas : public TerminalCanvas {
 public:
  // Marks rectangles of `widget`, never outside the area set.
  explicit InvalidatingCanvas(QWidget& widget) : widget_(widget) {}
  void SetArea(const QRect& area) { area_ = area; }

  PixelRect ClipRect() const override;
  void DrawRun(int x, int y, const char* text, int length, const std::int32_t* advances,
               int cellHeight, TerminalColor fore, TerminalColor back) override;

 private:
  QWidget& widget_;
  QRect area_;
};

}  // namespace terminal
