#include "gui/Lamp.h"

#include <QMouseEvent>
#include <QStyle>

namespace gui {

TLampPanel::TLampPanel(QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignCenter);
  setAutoFillBackground(true);
  setFrameShape(QFrame::Panel);
  setLineWidth(1);
  SetLamp(*this, false, true);
}

void TLampPanel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit Click();
  }
  QLabel::mouseReleaseEvent(event);
}

void SetLamp(TLampPanel& lamp, bool on, bool available) {
  const bool lit = on && available;
  QPalette palette = lamp.palette();
  const QPalette standard = lamp.style()->standardPalette();
  palette.setColor(QPalette::Window, lit ? QColor(0, 255, 0) : standard.color(QPalette::Button));
  palette.setColor(
      QPalette::WindowText,
      available ? QColor(Qt::black) : standard.color(QPalette::Disabled, QPalette::ButtonText));
  lamp.setPalette(palette);
  lamp.setFrameShadow(lit ? QFrame::Sunken : QFrame::Raised);
}

}  // namespace gui
