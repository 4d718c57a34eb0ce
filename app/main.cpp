// harbex: start-up in the order the program's units expect. The management
// library is bound first (its message, if any, comes before any window), then
// the main window and the hidden about box are created and the message loop
// runs until the main window closes.
#include "app/Main.h"

#include <QApplication>
#include <QFontDatabase>

#include "app/About.h"
#include "app/ExceptionBox.h"
#include "app/Help.h"
#include "app/QuorMgmt.h"
#include "app/TreeImages.h"
#include "gui/Util.h"
#include "platform/Modules.h"
#include "platform/qt/QtMessagePump.h"
#include "serial/ExceptionDisplay.h"
#include "serial/StringResource.h"
#include "serial/qt/ComSelectForm.h"

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

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("harbex"));
  QApplication::setApplicationDisplayName(QStringLiteral("Quor Tallyport"));
  app::LoadImages();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/harbex.svg")));
  QApplication::setFont(DesignFont());
  platform::QtMessagePump pump(app::ShowRaised);
  app::InstallGuiExceptionDisplay();
  serial::InstallComSelectPrompt();
  serial::RunUserAction([] {
    serial::ManagerStrings();
    serial::ErrorStrings();
  });
  app::InstallContextHelp();

  app::StartManagementBinding([](const char* message) { gui::ShowMessage(message); });
  int exitCode = 0;
  {
    app::TMainForm mainForm;
    app::TAboutBox aboutBox(platform::ProgramFilePath());
    mainForm.show();
    exitCode = application.exec();
  }
  app::ReleaseManagementLibrary();
  return exitCode;
}
