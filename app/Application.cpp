#include "app/Application.h"

#include <QApplication>
#include <QFontDatabase>
#include <QIcon>

#include "app/TreeImages.h"

namespace app {
namespace {

// The design's 8-point "Default" and "MS Sans Serif" are 11 pixels high; the
// desktop's sans-serif family stands in for them.
QFont DesignFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setFamilies({QStringLiteral("Sans Serif")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

}  // namespace

void SetUpApplication() {
  QApplication::setApplicationName(QStringLiteral("harbex"));
  LoadImages();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/harbex.svg")));
  QApplication::setFont(DesignFont());
}

}  // namespace app
