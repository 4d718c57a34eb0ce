// What the main-window tests share: the application object and message pump,
// a scripted management library bound through the real binding, and reading
// the tree back as text.
#pragma once

#include <QApplication>
#include <QRegularExpression>
#include <QStringList>
#include <QTreeWidgetItem>
#include <memory>
#include <ostream>
#include <string>

#include "app/Main.h"
#include "app/PortFacts.h"
#include "app/QuorMgmt.h"
#include "platform/Modules.h"
#include "platform/qt/QtMessagePump.h"
#include "tests/app/ScriptedShim.h"

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace app_test {

inline void EnsureApplication() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  // Never destroyed: Qt's test input devices outlive a QApplication torn
  // down among the other statics at exit.
  static auto* application = new QApplication(argc, argv);
  static auto* pump = new platform::QtMessagePump;
  (void)application;
  (void)pump;
}

// A library built beside the tests.
inline std::string TestLibrary(const char* fileName) {
  const std::string program = platform::ProgramFilePath();
  return program.substr(0, program.rfind('/') + 1) + fileName;
}

// Binds the scripted library with the given script; unbinds when destroyed.
class ScriptedBinding {
 public:
  explicit ScriptedBinding(ShimScript& script, const char* library = "libscriptedshim.so") {
    // Set the script before the binding asks for the version.
    handle_ = platform::LoadLibrary(TestLibrary(library));
    if (handle_) {
      auto scriptShim =
          reinterpret_cast<ScriptShimFunction>(platform::GetProcAddress(handle_, "ScriptShim"));
      scriptShim(&script);
    }
    app::MgmtLoaded = false;
    app::BindManagementLibrary(TestLibrary(library));
  }
  ~ScriptedBinding() {
    app::ReleaseManagementLibrary();
    app::MgmtLoaded = false;
    app::MgmtCommand = nullptr;
    if (handle_) platform::FreeLibrary(handle_);
  }

 private:
  platform::HMODULE handle_ = nullptr;
};

// "text [state]" per node in display order; children indented by two blanks.
inline QStringList TreeLines(const app::TMainForm& form) {
  QStringList lines;
  for (int i = 0; i < form.NodeCount(); ++i) {
    const QTreeWidgetItem* item = form.NodeItem(i);
    lines << QString(item->parent() ? "  " : "") + item->text(0) +
                 QStringLiteral(" [%1]").arg(form.StateIndex(i));
  }
  return lines;
}

// Runs events until the holder lookups asked for so far have come back.
inline void WaitForHolderLookups(const app::TMainForm& form) {
  while (form.PortFacts().LookupPending())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The lines of the board part only (before "Other ports").
inline QStringList BoardLines(const app::TMainForm& form) {
  QStringList lines = TreeLines(form);
  return lines.mid(0, lines.indexOf(QRegularExpression("Other ports.*")));
}

}  // namespace app_test
