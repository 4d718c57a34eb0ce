// The properties dialog: the flow-control table, what it shows of a port,
// applying to one window or to all, refusals with their restores, and the
// Apply button's enabling.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>
#include <mutex>

#include "platform/comm/CommDevice.h"
#include "term/TermProp.h"
#include "tests/support/FakeCommPort.h"
#include "tests/term/TermTestSupport.h"

namespace term::test {
namespace {

using serial::hwfRequireCTS;
using serial::hwfRequireDSR;
using serial::hwfUseDTR;
using serial::hwfUseRTS;

struct FlowCase {
  const char* name;
  int index;
  std::uint16_t inSize;
  std::optional<FlowControlSetting> expected;
};

FlowControlSetting Flow(serial::THWFlowOptions hw, serial::TSWFlowOptions sw, bool levels,
                        std::uint16_t full, std::uint16_t resume) {
  return {hw, sw, levels, full, resume};
}

class FlowControlTableTest : public testing::TestWithParam<FlowCase> {};

TEST_P(FlowControlTableTest, EachChoiceSetsItsFlowAndLevels) {
  const FlowCase& c = GetParam();
  const std::optional<FlowControlSetting> got = FlowControlFor(c.index, c.inSize);
  ASSERT_EQ(got.has_value(), c.expected.has_value());
  if (!got) return;
  EXPECT_EQ(got->hwFlowOptions, c.expected->hwFlowOptions);
  EXPECT_EQ(got->swFlowOptions, c.expected->swFlowOptions);
  EXPECT_EQ(got->setsLevels, c.expected->setsLevels);
  if (!got->setsLevels) return;
  EXPECT_EQ(got->bufferFull, c.expected->bufferFull);
  EXPECT_EQ(got->bufferResume, c.expected->bufferResume);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, FlowControlTableTest,
    testing::Values(FlowCase{"None", 0, 4096, Flow(0, serial::swfNone, false, 0, 0)},
                    FlowCase{"RtsCts", 1, 4096,
                             Flow(hwfUseRTS | hwfRequireCTS, serial::swfNone, true, 3686, 410)},
                    FlowCase{"DtrDsr", 2, 4096,
                             Flow(hwfUseDTR | hwfRequireDSR, serial::swfNone, true, 3686, 410)},
                    FlowCase{"XonXoff", 3, 4096, Flow(0, serial::swfBoth, true, 3072, 1024)},
                    // 751.5 and 250.5: halves go to even
                    FlowCase{"XonXoffHalves", 3, 1002, Flow(0, serial::swfBoth, true, 752, 250)},
                    FlowCase{"NoItem", -1, 4096, std::nullopt},
                    FlowCase{"PastTheList", 4, 4096, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct ShownCase {
  const char* name;
  serial::THWFlowOptions hw;
  serial::TSWFlowOptions sw;
  int index;
};

class FlowControlShownTest : public testing::TestWithParam<ShownCase> {};

TEST_P(FlowControlShownTest, APortsFlowOptionsShowAsOneChoice) {
  EXPECT_EQ(FlowControlIndex(GetParam().hw, GetParam().sw), GetParam().index);
}

INSTANTIATE_TEST_SUITE_P(
    Options, FlowControlShownTest,
    testing::Values(
        ShownCase{"Nothing", 0, serial::swfNone, 0},
        ShownCase{"RtsCts", hwfUseRTS | hwfRequireCTS, serial::swfNone, 1},
        ShownCase{"DtrDsr", hwfUseDTR | hwfRequireDSR, serial::swfNone, 2},
        ShownCase{"XonXoff", 0, serial::swfBoth, 3},
        ShownCase{"RtsAlone", hwfUseRTS, serial::swfNone, 0},
        ShownCase{"RtsCtsAndDsr", hwfUseRTS | hwfRequireCTS | hwfRequireDSR, serial::swfNone, 0},
        ShownCase{"ReceiveOnlyXon", 0, serial::swfReceive, 0},
        ShownCase{"HardwareBeforeSoftware", hwfUseRTS | hwfRequireCTS, serial::swfBoth, 1}),
    [](const auto& info) { return std::string(info.param.name); });

constexpr std::uint16_t kComs[] = {234, 235, 236};

// Records every device state written to a fake port, refusing none.
class StateLog {
 public:
  explicit StateLog(support::FakeCommPort& port) {
    port.SetRefuseState([this](const platform::CommState& state) {
      std::lock_guard guard(lock_);
      states_.push_back(state);
      return false;
    });
  }
  std::vector<platform::CommState> States() {
    std::lock_guard guard(lock_);
    return states_;
  }

 private:
  std::mutex lock_;
  std::vector<platform::CommState> states_;
};

bool SameLine(const platform::CommState& a, const platform::CommState& b) {
  return a.baudRate == b.baudRate && a.parity == b.parity && a.byteSize == b.byteSize &&
         a.stopBits == b.stopBits;
}

class PropertiesTest : public testing::Test {
 protected:
  TTermMDIChildForm& Open(int i) {
    windows[i] = main.OpenTerminal(i, gui::ntOtherPort, kComs[i]);
    EXPECT_TRUE(windows[i]->PortOpened());
    return *windows[i];
  }
  template <class Widget>
  static Widget& Control(QWidget& form, const char* name) {
    auto* widget = form.findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return *widget;
  }
  static QComboBox& Box(QWidget& form, const char* name) { return Control<QComboBox>(form, name); }

  support::ScopedFakePort fakes[3] = {support::ScopedFakePort(kComs[0]),
                                      support::ScopedFakePort(kComs[1]),
                                      support::ScopedFakePort(kComs[2])};
  FakeMainWindow main;
  TTermMDIChildForm* windows[3] = {};
};

TEST_F(PropertiesTest, OpensWithTheWindowsCaptionAndItsPortsSettings) {
  TTermMDIChildForm& window = Open(0);
  serial::TApdComPort& port = window.ApdComPort();
  port.SetParity(serial::pEven);
  port.SetDataBits(7);
  port.SetStopBits(2);
  TTermPropForm form(main, window);
  EXPECT_EQ(form.windowTitle(), "COM234 Terminal Properties");
  EXPECT_EQ(Box(form, "BaudRateComboBox").currentText(), "115200");
  EXPECT_EQ(Box(form, "ParityComboBox").currentText(), "Even");
  EXPECT_EQ(Box(form, "DataBitsComboBox").currentText(), "7");
  EXPECT_EQ(Box(form, "StopBitsComboBox").currentText(), "2");
  EXPECT_EQ(Box(form, "FlowControlComboBox").currentText(), "None");
  EXPECT_FALSE(Control<QCheckBox>(form, "ApplyToAllOpenPortsCheckBox").isChecked());
  EXPECT_FALSE(Control<QPushButton>(form, "ApplyButton").isEnabled());
}

struct ReopenCase {
  const char* choice;
  serial::THWFlowOptions hw;
  serial::TSWFlowOptions sw;
};

class PropertiesReopenTest : public PropertiesTest,
                             public testing::WithParamInterface<ReopenCase> {};

TEST_P(PropertiesReopenTest, AnAppliedFlowControlShowsAgainNextTime) {
  const ReopenCase& c = GetParam();
  TTermMDIChildForm& window = Open(0);
  {
    TTermPropForm form(main, window);
    Box(form, "FlowControlComboBox").setCurrentText(c.choice);
    form.ApplyButtonClick();
  }
  EXPECT_EQ(window.ApdComPort().HWFlowOptions(), c.hw);
  EXPECT_EQ(window.ApdComPort().SWFlowOptions(), c.sw);
  TTermPropForm again(main, window);
  EXPECT_EQ(Box(again, "FlowControlComboBox").currentText(), c.choice);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, PropertiesReopenTest,
    testing::Values(ReopenCase{"RTS/CTS", hwfUseRTS | hwfRequireCTS, serial::swfNone},
                    ReopenCase{"DTR/DSR", hwfUseDTR | hwfRequireDSR, serial::swfNone},
                    ReopenCase{"Xon/Xoff", 0, serial::swfBoth}),
    [](const auto& info) { return std::to_string(info.index); });

TEST_F(PropertiesTest, ChangingOnlyTheParitySendsOneLineSettingsChange) {
  TTermMDIChildForm& window = Open(0);
  StateLog log(*fakes[0]);
  const platform::CommState before = fakes[0]->State();
  TTermPropForm form(main, window);
  Box(form, "ParityComboBox").setCurrentIndex(serial::pOdd);
  form.ApplyButtonClick();

  int lineChanges = 0;
  platform::CommState last = before;
  for (const platform::CommState& state : log.States()) {
    if (!SameLine(state, last)) ++lineChanges;
    last = state;
  }
  EXPECT_EQ(lineChanges, 1);
  EXPECT_EQ(fakes[0]->State().parity, platform::kOddParity);
  EXPECT_EQ(fakes[0]->State().baudRate, before.baudRate);
  EXPECT_EQ(window.ApdComPort().Parity(), serial::pOdd);
}

struct RefusalCase {
  const char* name;
  const char* box;
  const char* typed;
  std::function<bool(const platform::CommState&)> refuse;
  const char* message;  // nullptr: accepted
  const char* shownAfter;
};

class PropertiesRefusalTest : public PropertiesTest,
                              public testing::WithParamInterface<RefusalCase> {};

// Every row also changes the baud rate and the stop bits (when they are not
// the row's own subject): the other settings go through all the same.
TEST_P(PropertiesRefusalTest, ARefusedSettingIsReportedAndPutBack) {
  const RefusalCase& c = GetParam();
  TTermMDIChildForm& window = Open(0);
  serial::TApdComPort& port = window.ApdComPort();
  if (c.refuse) fakes[0]->SetRefuseState(c.refuse);
  TTermPropForm form(main, window);
  const bool baudRow = std::string(c.box) == "BaudRateComboBox";
  const bool stopRow = std::string(c.box) == "StopBitsComboBox";
  if (!baudRow) Box(form, "BaudRateComboBox").setCurrentText("9600");
  if (!stopRow) Box(form, "StopBitsComboBox").setCurrentText("2");
  Box(form, c.box).setCurrentText(c.typed);
  ModalAnswers answers;
  form.ApplyButtonClick();

  if (c.message) {
    ASSERT_EQ(answers.texts.size(), 1u);
    EXPECT_EQ(answers.texts[0], c.message);
  } else {
    EXPECT_TRUE(answers.texts.empty());
  }
  EXPECT_EQ(Box(form, c.box).currentText(), c.shownAfter);
  if (!baudRow) {
    EXPECT_EQ(port.Baud(), 9600);
  }
  if (!stopRow) {
    EXPECT_EQ(port.StopBits(), 2);
  }
  EXPECT_EQ(port.HWFlowOptions(), 0);
  EXPECT_EQ(port.SWFlowOptions(), serial::swfNone);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, PropertiesRefusalTest,
    testing::Values(RefusalCase{"BaudNotANumber", "BaudRateComboBox", "fast", nullptr,
                                "Unable to set requested baud rate.", "115200"},
                    RefusalCase{"BaudRefused", "BaudRateComboBox", "230400",
                                [](const platform::CommState& s) { return s.baudRate == 230400; },
                                "Unable to set requested baud rate.", "115200"},
                    RefusalCase{"BaudOffTheListTriedAsTyped", "BaudRateComboBox", "12345", nullptr,
                                nullptr, "12345"},
                    RefusalCase{"ParityTyped", "ParityComboBox", "Sometimes", nullptr,
                                "Unable to set requested parity setting.", "None"},
                    RefusalCase{"ParityRefused", "ParityComboBox", "Mark",
                                [](const platform::CommState& s) {
                                  return s.parity == platform::kMarkParity;
                                },
                                "Unable to set requested parity setting.", "None"},
                    RefusalCase{"DataBitsRefused", "DataBitsComboBox", "7",
                                [](const platform::CommState& s) { return s.byteSize == 7; },
                                "Unable to set requested Data Bit.", "8"},
                    RefusalCase{"DataBitsNotANumber", "DataBitsComboBox", "eight", nullptr,
                                "Unable to set requested Data Bit.", "8"},
                    RefusalCase{"StopBitsRefused", "StopBitsComboBox", "2",
                                [](const platform::CommState& s) { return s.stopBits != 0; },
                                "Unable to set requested Stop Bit.", "1"},
                    RefusalCase{"FlowControlTyped", "FlowControlComboBox", "Carrier pigeon",
                                nullptr, "Unable to set requested Flow Control", "Carrier pigeon"}),
    [](const auto& info) { return std::string(info.param.name); });

// The refused window keeps its rate, the box shows it, and the windows after
// it in MDI order (the active one, then down the stacking order: 0, 2, 1
// here) get that rate, not the one asked for.
TEST_F(PropertiesTest, ApplyToAllGoesThroughTheWindowsInOrderAndCarriesARestoredRateOn) {
  for (int i = 0; i < 3; ++i) Open(i);
  main.mdiArea.setActiveSubWindow(windows[0]);
  fakes[2]->SetRefuseState([](const platform::CommState& s) { return s.baudRate == 230400; });
  TTermPropForm form(main, *windows[0]);
  Box(form, "BaudRateComboBox").setCurrentText("230400");
  Control<QCheckBox>(form, "ApplyToAllOpenPortsCheckBox").setChecked(true);
  ModalAnswers answers;
  form.ApplyButtonClick();

  EXPECT_EQ(answers.texts, std::vector<QString>{"Unable to set requested baud rate."});
  EXPECT_EQ(Box(form, "BaudRateComboBox").currentText(), "115200");
  EXPECT_EQ(windows[0]->ApdComPort().Baud(), 230400);
  EXPECT_EQ(windows[2]->ApdComPort().Baud(), 115200);
  EXPECT_EQ(windows[1]->ApdComPort().Baud(), 115200);
  EXPECT_EQ(fakes[0]->State().baudRate, 230400u);
  EXPECT_EQ(fakes[2]->State().baudRate, 115200u);
  EXPECT_EQ(fakes[1]->State().baudRate, 115200u);
}

TEST_F(PropertiesTest, WithoutTheCheckBoxOnlyTheOwnerChanges) {
  Open(0);
  Open(1);
  TTermPropForm form(main, *windows[1]);
  Box(form, "BaudRateComboBox").setCurrentText("9600");
  form.ApplyButtonClick();
  EXPECT_EQ(windows[0]->ApdComPort().Baud(), 115200);
  EXPECT_EQ(windows[1]->ApdComPort().Baud(), 9600);
}

TEST_F(PropertiesTest, ApplyIsEnabledByAUserChangeAndDisabledByApplying) {
  TTermMDIChildForm& window = Open(0);
  TTermPropForm form(main, window);
  form.show();
  auto& apply = Control<QPushButton>(form, "ApplyButton");
  EXPECT_FALSE(apply.isEnabled());
  QTest::keyClicks(Box(form, "BaudRateComboBox").lineEdit(), "0");
  EXPECT_TRUE(apply.isEnabled());
  apply.click();
  EXPECT_FALSE(apply.isEnabled());
  EXPECT_EQ(window.ApdComPort().Baud(), 1152000);
  Control<QCheckBox>(form, "ApplyToAllOpenPortsCheckBox").click();
  EXPECT_TRUE(apply.isEnabled());
  Control<QPushButton>(form, "HelpButton").click();
  EXPECT_EQ(main.helpContexts, std::vector<int>{20});
}

TEST_F(PropertiesTest, OkAppliesAndClosesCancelDoesNot) {
  TTermMDIChildForm& window = Open(0);
  {
    TTermPropForm form(main, window);
    Box(form, "BaudRateComboBox").setCurrentText("9600");
    Control<QPushButton>(form, "CancelButton").click();
    EXPECT_EQ(form.result(), QDialog::Rejected);
  }
  EXPECT_EQ(window.ApdComPort().Baud(), 115200);
  TTermPropForm form(main, window);
  Box(form, "BaudRateComboBox").setCurrentText("9600");
  Control<QPushButton>(form, "OkButton").click();
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(window.ApdComPort().Baud(), 9600);
}

}  // namespace
}  // namespace term::test
