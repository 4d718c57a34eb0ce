#include "gui/Util.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <algorithm>

namespace gui {

void FitToCaption(QWidget& button) {
  button.resize(std::max(button.width(), button.sizeHint().width()), button.height());
}

void ShowMessage(const QString& text, const QString& informativeText) {
  QMessageBox box(QMessageBox::Information, QGuiApplication::applicationDisplayName(), text,
                  QMessageBox::Ok, QApplication::activeWindow());
  box.setInformativeText(informativeText);
  box.exec();
}

}  // namespace gui
