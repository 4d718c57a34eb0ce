// The loopback test behind "Test": sends lines 1 to 52 of the test data
// paced by the output-free trigger, counts what comes back on the
// data-available event, and reports both counts.
#include "term/TermLoopback.h"

#include <QPointer>
#include <cmath>
#include <utility>

#include "gui/Util.h"
#include "platform/Ticks.h"
#include "serial/TriggerMessages.h"
#include "term/MessageLoop.h"
#include "term/TermMDIChild.h"
#include "ui_TermMDIChild.h"

namespace term {
namespace {

constexpr int kLineEnd = 2;  // CR LF
// The waits re-check the test's state at least this often.
constexpr std::chrono::milliseconds kLoopCheck(platform::kTickMs);

}  // namespace

std::string LoopbackTestLine(std::int32_t length) {
  return std::string(kLoopbackTestData, static_cast<std::size_t>(length)) + "\r\n";
}

int LoopbackFinalWaitTicks(std::int32_t baud) {
  // A Baud of 0 keeps the device's own rate: the window's design rate is assumed.
  if (baud < 1) baud = TTermMDIChildForm::kBaud;
  // 1482 characters of 10 bits at 18.2 ticks per second; nearbyint rounds
  // halves to even in the default rounding mode.
  return static_cast<int>(std::nearbyint(14820.0 / baud * 18.2)) + 19;
}

QString LoopbackPromptText(std::uint16_t comNumber) {
  return QStringLiteral("This will run a loopback test on COM") + QString::number(comNumber) +
         QStringLiteral(
             ":\r\n\r\nConnect a loopback plug to the selected port.  After\r\n"
             "the loopback plug is connected, press <Ok> to\r\ncontinue or press <Cancel> to "
             "skip the test.");
}

QString LoopbackResultText(std::uint16_t comNumber, std::int32_t sent, std::int32_t received) {
  return QStringLiteral("Loopback test results (COM") + QString::number(comNumber) +
         QStringLiteral(":)\r\nSent ") + QString::number(sent) +
         QStringLiteral(" characters\r\nReceived ") + QString::number(received) +
         QStringLiteral(" characters");
}

namespace {

QMessageBox::StandardButton ShowLoopbackBox(const QString& text,
                                            QMessageBox::StandardButtons buttons) {
  return gui::ShowMessageBox(QString::fromLatin1(kLoopbackBoxTitle), text, buttons);
}

}  // namespace

void TTermMDIChildForm::TestButtonClick() {
  BusyScope busy(*this);
  QPointer<TTermMDIChildForm> self(this);
  try {
    RunLoopbackTest(self);
  } catch (...) {
    // A port that fails mid-test ends the test quietly; the window goes on.
    if (self && testActive_) EndLoopbackTest();
  }
}

// Every message wait may close the window: after each one, a closed window
// (test-active cleared) or a destroyed one (self null) ends the test here.
void TTermMDIChildForm::RunLoopbackTest(const QPointer<TTermMDIChildForm>& self) {
  const std::uint16_t comNumber = apdComPort_.ComNumber();
  if (ShowLoopbackBox(LoopbackPromptText(comNumber), QMessageBox::Ok | QMessageBox::Cancel) !=
      QMessageBox::Ok)
    return;
  if (!self) return;

  ProcessPendingMessages();
  if (!self) return;
  testActive_ = true;
  apdComPort_.PurgeOutput();
  ui_->SendTestCharsToolButton->setEnabled(false);
  ui_->PropertiesToolButton->setEnabled(false);
  ProcessPendingMessages();
  if (!self || !testActive_) return;
  sentCount_ = 0;
  receivedCount_ = 0;

  // Both handlers swallow their own failures.
  apdComPort_.OnTriggerOutbuffFree = [this](serial::TApdCustomComPort&) {
    ApdComPortTriggerOutbuffFree();
  };
  apdComPort_.OnTriggerAvail = [this](serial::TApdCustomComPort&, std::uint16_t count) {
    ApdComPortTriggerAvail(count);
  };
  ArmOutbuffFreeTrigger(kLoopbackFirstFreeLevel);

  testActive_ = true;
  while (self && testActive_ && sentCount_ < kLoopbackTestTarget)
    WaitAndProcessMessages(kLoopCheck);
  if (!self || !testActive_) return;

  platform::DelayTicks(LoopbackFinalWaitTicks(apdComPort_.Baud()));
  if (!self || !testActive_) return;  // closed while the last characters came back
  testActive_ = true;
  ProcessPendingMessages();
  if (!self || !testActive_) return;
  testActive_ = false;
  const std::int32_t sent = sentCount_;
  const std::int32_t received = receivedCount_;
  EndLoopbackTest();
  ShowLoopbackBox(LoopbackResultText(comNumber, sent, received), QMessageBox::Ok);
}

void TTermMDIChildForm::EndLoopbackTest() {
  testActive_ = false;
  ui_->SendTestCharsToolButton->setEnabled(true);
  ui_->PropertiesToolButton->setEnabled(true);
  apdComPort_.OnTriggerAvail = nullptr;
  apdComPort_.OnTriggerOutbuffFree = nullptr;
}

// A fired status trigger stays in the port's list until deleted: the one it
// replaces goes, so that repeated tests do not use up the trigger handles.
void TTermMDIChildForm::ArmOutbuffFreeTrigger(std::uint16_t freeBytes) {
  if (outbuffFreeTrigger_ != 0) {
    const std::uint16_t previous = std::exchange(outbuffFreeTrigger_, 0);
    apdComPort_.DeleteTrigger(previous);
  }
  outbuffFreeTrigger_ = apdComPort_.CreateStatusTrigger(serial::kStatusOutBuffFree);
  apdComPort_.ArmStatusTrigger(outbuffFreeTrigger_, freeBytes, true);
}

// Runs only inside the test (test-active is set there alone), so the test's
// busy scope keeps the window alive through the message waits below.
void TTermMDIChildForm::ApdComPortTriggerOutbuffFree() {
  QPointer<TTermMDIChildForm> self(this);
  try {
    while (testActive_) {
      const std::int32_t lineSize = testLineLength_ + kLineEnd;
      if (apdComPort_.OutputFree() < lineSize) {
        ArmOutbuffFreeTrigger(static_cast<std::uint16_t>(lineSize));
        ProcessPendingMessages();
        return;
      }
      apdComPort_.SendText(LoopbackTestLine(testLineLength_));
      sentCount_ += lineSize;
      testLineLength_ = testLineLength_ % kLoopbackLongestLine + 1;
      ProcessPendingMessages();
      if (!self || sentCount_ >= kLoopbackTestTarget) return;
    }
  } catch (...) {
    // A refused block or a closed port ends the sending silently.
  }
}

void TTermMDIChildForm::ApdComPortTriggerAvail(std::uint16_t count) {
  receivedCount_ += count;
  try {
    for (std::uint16_t i = 0; i < count; ++i) apdComPort_.ReceiveChar();
  } catch (...) {
    // Fewer characters than announced: the count stands.
  }
}

}  // namespace term
