#include "gui/Lamp.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QStyle>

namespace gui {
namespace {

// What a screen reader hears of a lamp: its line's name, and its state as
// the value (and the description, which every client reads).
class LampAccessible : public QAccessibleWidget {
 public:
  explicit LampAccessible(TLampPanel* lamp) : QAccessibleWidget(lamp, QAccessible::StaticText) {}

  QString text(QAccessible::Text kind) const override {
    const auto* lamp = static_cast<const TLampPanel*>(widget());
    if (kind == QAccessible::Name && lamp->accessibleName().isEmpty()) return lamp->text();
    if (kind == QAccessible::Value) return lamp->accessibleDescription();
    return QAccessibleWidget::text(kind);
  }
};

QAccessibleInterface* LampFactory(const QString& className, QObject* object) {
  if (className != QLatin1String("gui::TLampPanel")) return nullptr;
  return new LampAccessible(static_cast<TLampPanel*>(object));
}

}  // namespace

TLampPanel::TLampPanel(QWidget* parent) : QLabel(parent) {
  static const bool accessible = [] {
    QAccessible::installFactory(&LampFactory);
    return true;
  }();
  (void)accessible;
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
  lamp.setAccessibleDescription(!available ? QStringLiteral("not available")
                                : on       ? QStringLiteral("on")
                                           : QStringLiteral("off"));
}

}  // namespace gui
