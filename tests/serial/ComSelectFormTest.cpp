// The port-selection dialog under the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "serial/ComPort.h"
#include "serial/Exceptions.h"
#include "serial/PortProbe.h"
#include "serial/qt/ComSelectForm.h"
#include "tests/support/FakeCommPort.h"

namespace serial {
namespace {

template <class Widget>
Widget* Control(QWidget& form, const char* name) {
  auto* widget = form.findChild<Widget*>(name);
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

class ComSelectFormTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "serial_qt_test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
  }

  void SetUp() override {
    std::uint32_t error = 0;
    busyHolder_ = platform::OpenCommDevice("COM9", error);
    ASSERT_TRUE(busyHolder_);
    CountBusyPorts = true;
    ProbeThroughDispatcher = true;
  }

  support::ScopedFakePort com3_{3};
  support::ScopedFakePort com9_{9};
  support::ScopedFakePort com17_{17};
  support::ScopedFakePort com51_{51};
  std::unique_ptr<platform::CommDevice> busyHolder_;
};

TEST_F(ComSelectFormTest, ListsTheAvailablePortsUpToFiftyAndSelectsTheFirst) {
  TComSelectForm form;
  auto* ports = Control<QComboBox>(form, "PortsComboBox");
  QStringList entries;
  for (int i = 0; i < ports->count(); ++i) entries << ports->itemText(i);
  EXPECT_TRUE(entries.contains("COM3"));
  EXPECT_TRUE(entries.contains("COM9")) << "a port held elsewhere still exists";
  EXPECT_TRUE(entries.contains("COM17"));
  EXPECT_FALSE(entries.contains("COM51"));
  int previous = 0;
  for (const QString& entry : entries) {
    ASSERT_TRUE(entry.startsWith("COM"));
    const int number = entry.mid(3).toInt();
    EXPECT_GT(number, previous);
    EXPECT_TRUE(IsPortAvailable(static_cast<std::uint16_t>(number)));
    previous = number;
  }
  EXPECT_EQ(ports->currentIndex(), 0);
  EXPECT_EQ(form.SelectedComNumber(), entries.first().mid(3).toUInt());
  ports->setCurrentText("COM17");
  EXPECT_EQ(form.SelectedComNumber(), 17);
}

TEST_F(ComSelectFormTest, ShowsTheSystemsTexts) {
  TComSelectForm form;
  EXPECT_EQ(form.windowTitle(), "Select Port");
  EXPECT_EQ(Control<QLabel>(form, "InvalidPortLabel")->text(),
            "The configured serial port is not valid.");
  EXPECT_EQ(Control<QLabel>(form, "ChoosePortLabel")->text(), "Please choose another port.");
  EXPECT_EQ(Control<QPushButton>(form, "OkBtn")->text(), "OK");
  EXPECT_TRUE(Control<QPushButton>(form, "OkBtn")->isDefault());
  EXPECT_EQ(Control<QPushButton>(form, "AbortBtn")->text(), "Cancel");
}

// Answers the next modal dialog: chooses an entry and presses a button.
void AnswerDialog(const QString& entry, bool ok) {
  QTimer::singleShot(0, [entry, ok] {
    auto* form = qobject_cast<TComSelectForm*>(QApplication::activeModalWidget());
    ASSERT_NE(form, nullptr);
    Control<QComboBox>(*form, "PortsComboBox")->setCurrentText(entry);
    Control<QPushButton>(*form, ok ? "OkBtn" : "AbortBtn")->click();
  });
}

TEST_F(ComSelectFormTest, InstalledAsThePromptItChoosesThePortToOpen) {
  InstallComSelectPrompt();
  TApdComPort port;
  TApdCustomComPort::SetDefaultPortPrompt(nullptr);
  AnswerDialog("COM17", true);
  port.SetOpen(true);
  EXPECT_EQ(port.ComNumber(), 17);
  EXPECT_TRUE(com17_->IsOpen());
}

TEST_F(ComSelectFormTest, CancellingThePromptIsNoPortSelected) {
  InstallComSelectPrompt();
  TApdComPort port;
  TApdCustomComPort::SetDefaultPortPrompt(nullptr);
  AnswerDialog("COM3", false);
  EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
  EXPECT_EQ(port.ComNumber(), 0);
}

}  // namespace
}  // namespace serial
