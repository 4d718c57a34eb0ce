#include "gui/Util.h"

#include <QApplication>
#include <QLabel>
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

QMessageBox::StandardButton ShowMessageBox(const QString& title, const QString& text,
                                           QMessageBox::StandardButtons buttons,
                                           const QString& informativeText) {
  QMessageBox box(QMessageBox::NoIcon, title, text, buttons, QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);  // "<Ok>" is text, not a tag
  box.setInformativeText(informativeText);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

void ShowMessage(const QString& text, const QString& informativeText) {
  ShowMessageBox(QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok, informativeText);
}

}  // namespace gui
