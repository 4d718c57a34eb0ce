// The view's port attachment, received data, keys, mouse selection and copy
// under the offscreen platform.
#include <QClipboard>
#include <QGuiApplication>
#include <QScrollBar>
#include <QtTest/QTest>
#include <thread>

#include "platform/Messages.h"
#include "serial/TriggerMessages.h"
#include "tests/terminal/TerminalViewFixture.h"

namespace terminal::test {
namespace {

using TAdTerminalReceive = TerminalViewTest;

TEST_F(TAdTerminalReceive, OpenPortIsReceivedFromAtOnce) {
  view.SetComPort(&port);
  EXPECT_TRUE(view.Receiving());
  EXPECT_FALSE(view.Pending());
  EXPECT_EQ(port.users, std::vector<platform::HWND>{view.Handle()});
  EXPECT_EQ(port.handlerOwner, &view);
  Receive("hello\r\nworld");
  EXPECT_EQ(RowText(view.ActiveEmulator().Buffer(), ScreenRow(1)), "hello");
  EXPECT_EQ(RowText(view.ActiveEmulator().Buffer(), ScreenRow(2)), "world");
  EXPECT_TRUE(port.input.empty());
}

TEST_F(TAdTerminalReceive, ClosedPortStaysPendingUntilItOpens) {
  port.open = false;
  view.SetComPort(&port);
  EXPECT_TRUE(view.Pending());
  EXPECT_FALSE(view.Receiving());
  port.open = true;  // the port opens and tells its users
  platform::PostMessage(view.Handle(), serial::kMsgPortOpened, 0, 0);
  Settle();
  EXPECT_TRUE(view.Receiving());
  EXPECT_FALSE(view.Pending());
  platform::PostMessage(view.Handle(), serial::kMsgPortClosing, 0, 0);
  Settle();
  EXPECT_FALSE(view.Receiving());
  EXPECT_TRUE(view.Pending());
  EXPECT_EQ(port.handlerOwner, nullptr);
}

TEST_F(TAdTerminalReceive, ClosedPortWithAutoOpenIsOpened) {
  port.open = false;
  port.autoOpen = true;
  view.SetComPort(&port);
  EXPECT_TRUE(port.open);
  EXPECT_TRUE(view.Receiving());
}

TEST_F(TAdTerminalReceive, InactiveViewNeitherReceivesNorWaits) {
  view.SetComPort(&port);
  view.SetActive(false);
  EXPECT_FALSE(view.Receiving());
  EXPECT_FALSE(view.Pending());
  EXPECT_EQ(port.handlerOwner, nullptr);
  view.SetActive(true);
  EXPECT_TRUE(view.Receiving());
}

TEST_F(TAdTerminalReceive, ReplacingThePortMovesTheRegistration) {
  FakePort other;
  view.SetComPort(&port);
  view.SetComPort(&other);
  EXPECT_TRUE(port.users.empty());
  EXPECT_EQ(port.handlerOwner, nullptr);
  EXPECT_EQ(other.users, std::vector<platform::HWND>{view.Handle()});
  EXPECT_TRUE(view.Receiving());
  view.SetComPort(nullptr);
}

TEST_F(TAdTerminalReceive, BytesFromTheDispatcherThreadArriveInOrder) {
  view.SetComPort(&port);
  std::string expected;
  std::thread dispatcher([&] {
    for (int i = 0; i < 200; ++i) port.Receive("<" + std::to_string(i) + ">");
  });
  for (int i = 0; i < 200; ++i) expected += "<" + std::to_string(i) + ">";
  dispatcher.join();
  Settle();
  std::string shown;
  const TAdTerminalBuffer& buffer = view.ActiveEmulator().Buffer();
  for (int row = 1; row <= buffer.RowCount(); ++row) {
    const std::uint8_t* chars = buffer.RowChars(ScreenRow(row));
    shown.append(chars, chars + buffer.ColCount());
  }
  EXPECT_EQ(shown.substr(0, expected.size()), expected);
}

TEST_F(TAdTerminalReceive, OneBatchOfAnySizeIsRepaintedOnce) {
  view.SetUseLazyDisplay(false);
  view.SetComPort(&port);
  std::string text;
  for (int i = 0; i < 500; ++i) text += "line " + std::to_string(i) + " of the batch\r\n";
  int paints = CountPaintsWhile([&] {
    // Several deliveries before the GUI thread runs: one drain takes them all.
    for (std::size_t at = 0; at < text.size(); at += 4096) port.Receive(text.substr(at, 4096));
  });
  EXPECT_EQ(paints, 1);
  EXPECT_EQ(RowText(view.ActiveEmulator().Buffer(), ScreenRow(23)), "line 499 of the batch");
}

TEST_F(TAdTerminalReceive, LazyDisplayPaintsAtTheNextTimerTick) {
  view.SetComPort(&port);
  ASSERT_TRUE(view.UseLazyDisplay());
  Receive("lazy");
  EXPECT_TRUE(view.ActiveEmulator().Buffer().IsDisplayDirty());
  view.TimerTick();
  EXPECT_FALSE(view.ActiveEmulator().Buffer().IsDisplayDirty());
}

TEST_F(TAdTerminalReceive, CursorMovesAreReportedThroughTheView) {
  std::vector<std::pair<int, int>> moves;
  view.OnCursorMoved = [&](TAdTerminal* sender, ScreenRow row, Column col) {
    EXPECT_EQ(sender, &view);
    moves.push_back({row.Value(), col.Value()});
  };
  view.SetComPort(&port);
  Receive("ab\n");
  EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{1, 2}, {1, 3}, {2, 3}}));
}

struct KeyCase {
  const char* name;
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  std::vector<std::uint8_t> sent;
};

class TAdTerminalKeys : public TerminalViewTest, public testing::WithParamInterface<KeyCase> {};

TEST_P(TAdTerminalKeys, SendTheCharacterTheKeyProduces) {
  view.SetComPort(&port);
  view.setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasFocus(); }));
  QTest::keyClick(&view, GetParam().key, GetParam().modifiers);
  EXPECT_EQ(port.sent, GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TAdTerminalKeys,
    testing::Values(KeyCase{"Letter", Qt::Key_A, Qt::NoModifier, {'a'}},
                    KeyCase{"Digit", Qt::Key_7, Qt::NoModifier, {'7'}},
                    KeyCase{"Enter", Qt::Key_Return, Qt::NoModifier, {13}},
                    KeyCase{"Tab", Qt::Key_Tab, Qt::NoModifier, {9}},
                    KeyCase{"Escape", Qt::Key_Escape, Qt::NoModifier, {27}},
                    KeyCase{"BackspaceAsDel", Qt::Key_Backspace, Qt::NoModifier, {0x7F}},
                    KeyCase{"CtrlA", Qt::Key_A, Qt::ControlModifier, {1}},
                    KeyCase{"CtrlCWithoutSelection", Qt::Key_C, Qt::ControlModifier, {3}},
                    KeyCase{"CtrlInsertWithoutSelection", Qt::Key_Insert, Qt::ControlModifier, {}},
                    KeyCase{"AltLetter", Qt::Key_X, Qt::AltModifier, {}},
                    KeyCase{"Arrow", Qt::Key_Left, Qt::NoModifier, {}},
                    KeyCase{"FunctionKey", Qt::Key_F1, Qt::NoModifier, {}},
                    KeyCase{"Delete", Qt::Key_Delete, Qt::NoModifier, {}},
                    KeyCase{"ShiftAlone", Qt::Key_Shift, Qt::NoModifier, {}}),
    [](const testing::TestParamInfo<KeyCase>& info) { return info.param.name; });

using TAdTerminalTyping = TerminalViewTest;

TEST_F(TAdTerminalTyping, KeyPressHandlerMayDropOrChangeTheCharacter) {
  view.SetComPort(&port);
  view.setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasFocus(); }));
  view.OnKeyPress = [](TAdTerminal*, std::uint8_t& key) { key = key == 'x' ? 0 : 'Y'; };
  QTest::keyClicks(&view, "xa");
  EXPECT_EQ(port.sent, std::vector<std::uint8_t>{'Y'});
}

TEST_F(TAdTerminalTyping, ClosedPortSendsNothingAndHalfDuplexStillEchoes) {
  port.open = false;
  view.SetComPort(&port);
  view.SetHalfDuplex(true);
  view.setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasFocus(); }));
  QTest::keyClicks(&view, "hi");
  EXPECT_TRUE(port.sent.empty());
  EXPECT_EQ(RowText(view.ActiveEmulator().Buffer(), ScreenRow(1)), "hi");
}

// Bytes arriving while a frame is due wait in the queue for it, without a
// wake-up each; a key's echo still comes after them, and the frame takes
// every byte in order.
TEST_F(TAdTerminalTyping, BytesWaitingForTheFrameComeBeforeTheEcho) {
  view.SetComPort(&port);
  view.SetUseLazyDisplay(false);
  view.SetHalfDuplex(true);
  view.setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasFocus(); }));
  Settle();
  const TAdTerminalBuffer& buffer = view.ActiveEmulator().Buffer();
  port.Receive("a");
  platform::ProcessMessages();
  EXPECT_EQ(RowText(buffer, ScreenRow(1)), "a") << "an idle view takes bytes at once";
  port.Receive("b");
  port.Receive("c");
  platform::ProcessMessages();
  EXPECT_EQ(RowText(buffer, ScreenRow(1)), "a");
  EXPECT_EQ(view.QueuedBytes(), 2u);
  QTest::keyClick(&view, Qt::Key_D);
  EXPECT_EQ(RowText(buffer, ScreenRow(1)), "abcd");
  port.Receive("e");
  Settle();
  EXPECT_EQ(RowText(buffer, ScreenRow(1)), "abcde");
  EXPECT_EQ(view.QueuedBytes(), 0u);
}

TEST_F(TAdTerminalTyping, TabIsLeftToFocusNavigationWithoutWantAllKeys) {
  view.SetComPort(&port);
  view.SetWantAllKeys(false);
  view.setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasFocus(); }));
  QTest::keyClick(&view, Qt::Key_Tab);
  QTest::keyClick(&view, Qt::Key_B);
  EXPECT_EQ(port.sent, std::vector<std::uint8_t>{'b'});
}

class TAdTerminalSelection : public TerminalViewTest {
 protected:
  void SetUp() override {
    view.SetComPort(&port);
    view.SetUseLazyDisplay(false);
    SetClientCells(80, 24);
  }
  const TAdTerminalBuffer& Buffer() { return view.ActiveEmulator().Buffer(); }
  bool Selected(int row, int col) {
    return Buffer().RowAttrs(ScreenRow(row))[col - 1] & kAttrSelected;
  }
  int MarkedCells() {
    int marked = 0;
    for (int row = Buffer().OldestRow().Value(); row <= Buffer().RowCount(); ++row)
      for (int col = 1; col <= Buffer().ColCount(); ++col) marked += Selected(row, col);
    return marked;
  }
  void Drag(QPoint from, QPoint to) {
    QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(view.viewport(), to);
  }
};

TEST_F(TAdTerminalSelection, CopiesTwoRowsWithTrailingSpacesAndCrLf) {
  Receive("first line  \r\nsecond line");
  Drag(CellCenter(7, 1), CellCenter(3, 2));
  QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(3, 2));
  EXPECT_TRUE(view.HasSelection());
  EXPECT_TRUE(Selected(1, 7));
  EXPECT_FALSE(Selected(1, 6));
  EXPECT_TRUE(Selected(1, 80));
  EXPECT_TRUE(Selected(2, 3));
  EXPECT_FALSE(Selected(2, 4));
  QGuiApplication::clipboard()->clear();
  QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "line  " + QString(68, ' ') + "\r\nsec\r\n");
  EXPECT_TRUE(port.sent.empty());  // copied, not sent
}

TEST_F(TAdTerminalSelection, SelectionRunsInReadingOrderWhicheverWayItIsDragged) {
  Receive("abcdef\r\nghijkl");
  Drag(CellCenter(2, 2), CellCenter(5, 1));
  EXPECT_EQ(MarkedCells(), (80 - 5 + 1) + 2);
  QGuiApplication::clipboard()->clear();
  view.Copy();
  EXPECT_EQ(QGuiApplication::clipboard()->text().left(5), "ef   ");
  EXPECT_TRUE(QGuiApplication::clipboard()->text().endsWith("\r\ngh\r\n"));
  Drag(CellCenter(4, 1), CellCenter(2, 1));  // a new press drops the old marks
  EXPECT_EQ(MarkedCells(), 3);
  view.Copy();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "bcd\r\n");
}

TEST_F(TAdTerminalSelection, EscapeWhileSelectingCancels) {
  Receive("abcdef");
  Drag(CellCenter(1, 1), CellCenter(4, 1));
  EXPECT_EQ(MarkedCells(), 4);
  QTest::keyClick(&view, Qt::Key_Escape);
  EXPECT_FALSE(view.HasSelection());
  EXPECT_EQ(MarkedCells(), 0);
  EXPECT_TRUE(port.sent.empty());  // consumed, not sent as ESC
}

TEST_F(TAdTerminalSelection, DraggingAboveTheViewScrollsOneRowPerTick) {
  Receive(std::string(40, '\n') + "bottom");
  Drag(CellCenter(5, 3), QPoint(CellCenter(5, 3).x(), -10));
  EXPECT_EQ(view.TopRow().Value(), 1);
  for (int tick = 1; tick <= 3; ++tick) {
    view.TimerTick();
    EXPECT_EQ(view.TopRow().Value(), 1 - tick);
  }
  // From row -2, column 5 to the anchor on row 3, column 5.
  EXPECT_TRUE(Selected(-2, 5));
  EXPECT_FALSE(Selected(-2, 4));
  EXPECT_TRUE(Selected(0, 1));
  EXPECT_TRUE(Selected(3, 5));
  EXPECT_FALSE(Selected(3, 6));
  QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, -10));
  view.TimerTick();
  EXPECT_EQ(view.TopRow().Value(), -2);  // no more scrolling once released
}

// Marks that scrolling carried into the history used to stay behind when a
// new selection began.
TEST_F(TAdTerminalSelection, NewSelectionClearsMarksThatScrollingMoved) {
  Receive("abcdef");
  Drag(CellCenter(1, 1), CellCenter(6, 1));
  QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(6, 1));
  Receive(std::string(30, '\n'));
  EXPECT_EQ(MarkedCells(), 6);
  QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(1, 10));
  EXPECT_EQ(MarkedCells(), 0);
  EXPECT_FALSE(view.HasSelection());
}

TEST_F(TAdTerminalSelection, CtrlCWithASelectionCopiesAndWithoutSendsEtx) {
  Receive("xyz");
  QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(port.sent, std::vector<std::uint8_t>{3});
  Drag(CellCenter(1, 1), CellCenter(2, 1));
  QGuiApplication::clipboard()->clear();
  QTest::keyClick(&view, Qt::Key_Insert, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "xy\r\n");
  EXPECT_EQ(port.sent, std::vector<std::uint8_t>{3});
}

}  // namespace
}  // namespace terminal::test
