#include "gui/Util.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <algorithm>

namespace gui {

void FitToCaption(QWidget& button) {
  button.resize(std::max(button.width(), button.sizeHint().width()), button.height());
}

void LinkCaptions(QWidget& panel) {
  const QList<QLabel*> labels = panel.findChildren<QLabel*>();
  for (QLabel* caption : labels) {
    if (!caption->text().endsWith(QLatin1Char(':'))) continue;
    QLabel* value = nullptr;
    for (QLabel* other : labels) {
      if (other->parent() != caption->parent() || other->y() != caption->y() ||
          other->x() <= caption->x() || (value && other->x() >= value->x()))
        continue;
      value = other;
    }
    if (value) caption->setBuddy(value);
  }
}

void ShowMessage(const QString& text, const QString& informativeText) {
  QMessageBox box(QMessageBox::Information, QGuiApplication::applicationDisplayName(), text,
                  QMessageBox::Ok, QApplication::activeWindow());
  box.setInformativeText(informativeText);
  box.exec();
}

}  // namespace gui
