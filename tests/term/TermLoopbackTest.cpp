// The loopback test: its final wait, its counts over a loopback plug (fake
// device and pseudo-terminal), the lines it sends, and closing the window
// while it runs.
#include <poll.h>
#include <unistd.h>

#include <QPointer>
#include <QToolButton>
#include <atomic>
#include <thread>

#include "term/TermLoopback.h"
#include "tests/support/FakeCommPort.h"
#include "tests/support/PtyPort.h"
#include "tests/term/TermTestSupport.h"

namespace term::test {
namespace {

using namespace std::chrono_literals;

constexpr std::uint16_t kCom = 233;
constexpr int kNode = 4;

struct WaitCase {
  std::int32_t baud;
  int ticks;
};

class LoopbackFinalWaitTest : public testing::TestWithParam<WaitCase> {};

TEST_P(LoopbackFinalWaitTest, WaitsForTheLastCharactersAtTheBaudRate) {
  EXPECT_EQ(LoopbackFinalWaitTicks(GetParam().baud), GetParam().ticks);
}

INSTANTIATE_TEST_SUITE_P(Rates, LoopbackFinalWaitTest,
                         testing::Values(WaitCase{115200, 21}, WaitCase{9600, 47},
                                         WaitCase{921600, 19}, WaitCase{300, 918},
                                         WaitCase{50, 5413},
                                         // 14820 / 41496 * 18.2 = 6.5: halves go to even
                                         WaitCase{41496, 25},
                                         // 0 leaves the device at its rate: the window's own
                                         WaitCase{0, 21}),
                         [](const auto& info) { return std::to_string(info.param.baud); });

std::string AllTestLines() {
  std::string lines;
  for (int length = 1; length <= 52; ++length) lines += LoopbackTestLine(length);
  return lines;
}

QString Expected(const char* text) {
  return QString::fromLatin1(text);
}

class LoopbackTest : public testing::Test {
 protected:
  QToolButton& Button(const char* name) { return *window->findChild<QToolButton*>(name); }
  // The port opens again with a small output buffer, so that the lines no
  // longer fit at once and the sending waits for room.
  void ReopenWithOutputBuffer(std::uint16_t size) {
    serial::TApdComPort& port = window->ApdComPort();
    port.SetOpen(false);
    port.SetOutSize(size);
    port.SetOpen(true);
  }
  std::string Written() {
    const std::vector<std::uint8_t> bytes = fake->TakeWritten();
    return std::string(bytes.begin(), bytes.end());
  }

  support::ScopedFakePort fake{kCom};
  FakeMainWindow main;
  QPointer<TTermMDIChildForm> window = main.OpenTerminal(kNode, gui::ntBoardPort, kCom);
};

TEST_F(LoopbackTest, ALoopbackPlugReturnsEveryCharacterSent) {
  ASSERT_TRUE(window->PortOpened());
  fake->SetLoopback(true);
  ModalAnswers answers;
  answers.Queue(QMessageBox::Ok);
  Button("SendTestCharsToolButton").click();

  ASSERT_EQ(answers.texts.size(), 2u);
  EXPECT_EQ(answers.titles[0], "Quor Tallyport for Windows");
  EXPECT_EQ(answers.texts[0],
            Expected("This will run a loopback test on COM233:\r\n\r\nConnect a loopback plug to "
                     "the selected port.  After\r\nthe loopback plug is connected, press <Ok> "
                     "to\r\ncontinue or press <Cancel> to skip the test."));
  EXPECT_EQ(answers.titles[1], "Quor Tallyport for Windows");
  EXPECT_EQ(answers.texts[1], Expected("Loopback test results (COM233:)\r\nSent 1482 "
                                       "characters\r\nReceived 1482 characters"));
  EXPECT_EQ(Written(), AllTestLines());
  EXPECT_TRUE(Button("SendTestCharsToolButton").isEnabled());
  EXPECT_TRUE(Button("PropertiesToolButton").isEnabled());
  EXPECT_FALSE(window->ApdComPort().OnTriggerAvail);
  EXPECT_FALSE(window->ApdComPort().OnTriggerOutbuffFree);
}

TEST_F(LoopbackTest, TwoTestsInARowEachSendLinesOneToFiftyTwo) {
  fake->SetLoopback(true);
  for (int run = 0; run < 2; ++run) {
    ModalAnswers answers;
    answers.Queue(QMessageBox::Ok);
    Button("SendTestCharsToolButton").click();
    ASSERT_EQ(answers.texts.size(), 2u) << run;
    EXPECT_TRUE(answers.texts[1].contains("Received 1482 characters")) << run;
    EXPECT_EQ(Written(), AllTestLines()) << run;
  }
}

TEST_F(LoopbackTest, ASmallOutputBufferPacesTheLinesAndEachGoesOutOnce) {
  ReopenWithOutputBuffer(128);
  fake->SetLoopback(true);
  fake->SetWritePace(100us);
  ModalAnswers answers;
  answers.Queue(QMessageBox::Ok);
  QTimer::singleShot(10s, window, [this] { window->close(); });  // a sender that stalls
  Button("SendTestCharsToolButton").click();
  ASSERT_EQ(answers.texts.size(), 2u);
  EXPECT_TRUE(answers.texts[1].endsWith("Sent 1482 characters\r\nReceived 1482 characters"));
  EXPECT_EQ(Written(), AllTestLines());
}

TEST_F(LoopbackTest, WithoutAPlugNothingComesBack) {
  ModalAnswers answers;
  answers.Queue(QMessageBox::Ok);
  Button("SendTestCharsToolButton").click();
  ASSERT_EQ(answers.texts.size(), 2u);
  EXPECT_EQ(answers.texts[1], Expected("Loopback test results (COM233:)\r\nSent 1482 "
                                       "characters\r\nReceived 0 characters"));
}

TEST_F(LoopbackTest, CancelAtThePromptSendsNothing) {
  ModalAnswers answers;
  answers.Queue(QMessageBox::Cancel);
  Button("SendTestCharsToolButton").click();
  Settle();
  EXPECT_EQ(answers.texts.size(), 1u);
  EXPECT_EQ(fake->WrittenCount(), 0u);
  EXPECT_TRUE(Button("PropertiesToolButton").isEnabled());
}

struct CloseCase {
  const char* name;
  std::uint16_t outSize;
  std::chrono::microseconds writePace;  // per byte
  int closeAfterMs;
};

class LoopbackCloseTest : public LoopbackTest, public testing::WithParamInterface<CloseCase> {};

// The close request ends the test without a result; the test's loop must
// not touch the window once it is gone (ASan).
TEST_P(LoopbackCloseTest, ClosingTheWindowEndsTheTestWithoutAResult) {
  const CloseCase& c = GetParam();
  ReopenWithOutputBuffer(c.outSize);
  fake->SetLoopback(true);
  fake->SetWritePace(c.writePace);
  ModalAnswers answers;
  answers.Queue(QMessageBox::Ok);
  QTimer::singleShot(c.closeAfterMs, window, [this] { window->close(); });
  Button("SendTestCharsToolButton").click();

  ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }));
  EXPECT_EQ(answers.texts.size(), 1u) << "only the prompt";
  EXPECT_FALSE(fake->IsOpen());
  EXPECT_FALSE(main.nodeInUse[kNode]);
  EXPECT_EQ(main.boardStatusText, "Not in use.");
}

INSTANTIATE_TEST_SUITE_P(Moments, LoopbackCloseTest,
                         testing::Values(CloseCase{"WhileSending", 128, 1000us, 300},
                                         CloseCase{"DuringTheFinalWait", 4096, 0us, 600}),
                         [](const auto& info) { return std::string(info.param.name); });

// A real device: the far end of a pseudo-terminal echoes what it reads.
TEST(LoopbackPtyTest, APseudoTerminalThatEchoesReturnsEveryCharacter) {
  support::ScopedHostRoot root;
  support::PtyPort pty(root, 62);
  std::atomic<bool> echoing{true};
  std::thread plug([&] {
    char buffer[512];
    while (echoing) {
      pollfd fd{pty.Master(), POLLIN, 0};
      if (poll(&fd, 1, 20) <= 0) continue;
      const ssize_t n = read(pty.Master(), buffer, sizeof buffer);
      if (n > 0) pty.Send(std::string(buffer, static_cast<std::size_t>(n)));
    }
  });
  FakeMainWindow main;
  TTermMDIChildForm* window = main.OpenTerminal(kNode, gui::ntBoardPort, 62);
  ModalAnswers answers;
  answers.Queue(QMessageBox::Ok);
  if (window->PortOpened()) window->findChild<QToolButton*>("SendTestCharsToolButton")->click();
  main.CloseAll();
  echoing = false;
  plug.join();
  ASSERT_EQ(answers.texts.size(), 2u);
  EXPECT_EQ(answers.texts[1], Expected("Loopback test results (COM62:)\r\nSent 1482 "
                                       "characters\r\nReceived 1482 characters"));
}

}  // namespace
}  // namespace term::test
