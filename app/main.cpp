// harbex: start-up in the order the program's units expect. The management
// library is bound first (its message, if any, comes before any window), then
// the main window and the hidden about box are created and the message loop
// runs until the main window closes.
#include "app/Main.h"

#include <QApplication>

#include "app/About.h"
#include "app/Application.h"
#include "app/ExceptionBox.h"
#include "app/Help.h"
#include "app/QuorMgmt.h"
#include "gui/Util.h"
#include "platform/Modules.h"
#include "platform/qt/QtMessagePump.h"
#include "serial/ExceptionDisplay.h"
#include "serial/StringResource.h"
#include "serial/qt/ComSelectForm.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  app::SetUpApplication();
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
