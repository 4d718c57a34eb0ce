#include "app/ExceptionBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "gui/Util.h"
#include "serial/ExceptionDisplay.h"

namespace app {
namespace {

void ShowOnGuiThread(const QString& text) {
  QMessageBox::critical(QApplication::activeWindow(), QString::fromLatin1(gui::kApplicationTitle),
                        text, QMessageBox::Ok);
}

}  // namespace

void InstallGuiExceptionDisplay() {
  serial::SetExceptionDisplay([](const std::exception& error) {
    const QString text = QString::fromLocal8Bit(error.what());
    QCoreApplication* application = QCoreApplication::instance();
    if (!application) return;
    if (QThread::currentThread() == application->thread())
      ShowOnGuiThread(text);
    else
      QMetaObject::invokeMethod(
          application, [text] { ShowOnGuiThread(text); }, Qt::QueuedConnection);
  });
}

void ShowRaised(std::exception_ptr error) {
  serial::RunUserAction([&] { std::rethrow_exception(error); });
}

}  // namespace app
