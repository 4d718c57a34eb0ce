// Golden screens: bytes in, the screen and history rows and the cursor out.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "terminal/TTYEmulator.h"
#include "tests/terminal/TerminalTestSupport.h"

namespace terminal {
namespace {

using test::Bytes;
using test::RowText;

struct GoldenScreen {
  const char* name;
  std::string input;
  std::map<int, std::string> rows;  // every row not listed is blank
  int cursorRow;
  int cursorCol;
  bool wrapPending = false;
};

std::string Repeat(char ch, int count) {
  return std::string(std::size_t(count), ch);
}

std::string Lines(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += "line" + std::to_string(i) + "\r\n";
  return text;
}

// After Lines(count) with count > 23, line k sits on row k - (count - 23).
std::map<int, std::string> LineRows(int count) {
  std::map<int, std::string> rows;
  for (int i = 1; i <= count; ++i) rows[i - (count - 23)] = "line" + std::to_string(i);
  return rows;
}

class TTYGoldenScreen : public testing::TestWithParam<GoldenScreen> {};

TEST_P(TTYGoldenScreen, ShowsTheExpectedRows) {
  const GoldenScreen& golden = GetParam();
  // Both ways of writing: stretch at once, and step by step for a listener.
  for (bool listensToCursor : {false, true}) {
    SCOPED_TRACE(listensToCursor ? "cursor listener" : "no listener");
    test::FakeHost host;
    host.listensToCursor = listensToCursor;
    TAdTTYEmulator emulator;
    emulator.SetTerminal(&host);
    std::vector<std::uint8_t> bytes = Bytes(golden.input);
    emulator.HandleReceivedBlock(bytes.data(), bytes.size());
    const TAdTerminalBuffer& buffer = emulator.Buffer();
    for (int row = buffer.OldestRow().Value(); row <= buffer.RowCount(); ++row) {
      auto expected = golden.rows.find(row);
      EXPECT_EQ(RowText(buffer, ScreenRow(row)),
                expected == golden.rows.end() ? "" : expected->second)
          << "row " << row;
    }
    EXPECT_EQ(buffer.CursorRow().Value(), golden.cursorRow);
    EXPECT_EQ(buffer.CursorCol().Value(), golden.cursorCol);
    EXPECT_EQ(buffer.WrapPending(), golden.wrapPending);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Screens, TTYGoldenScreen,
    testing::Values(
        GoldenScreen{"CrLfStartsTheNextRow", "A\r\nB", {{1, "A"}, {2, "B"}}, 2, 2},
        GoldenScreen{"LineFeedKeepsTheColumn", "AB\nC", {{1, "AB"}, {2, "  C"}}, 2, 4},
        GoldenScreen{"CrEndingTheInputReturnsOnly", "AB\r", {{1, "AB"}}, 1, 1},
        GoldenScreen{"CrAndLfInAnyOrderAndRepeated",
                     "A\r\r\nB\n\rC\r\n\r\nD",
                     {{1, "A"}, {2, "B"}, {3, "C"}, {5, "D"}},
                     5,
                     2},
        GoldenScreen{
            "EightyCharactersWaitToWrap", Repeat('x', 80), {{1, Repeat('x', 80)}}, 1, 80, true},
        GoldenScreen{"EightyFirstLandsOnTheNextRow",
                     Repeat('x', 80) + "y",
                     {{1, Repeat('x', 80)}, {2, "y"}},
                     2,
                     2},
        GoldenScreen{"CrAfterTheEightiethReturnsOnTheSameRow",
                     Repeat('x', 80) + "\rZ",
                     {{1, "Z" + Repeat('x', 79)}},
                     1,
                     2},
        GoldenScreen{"BackspaceCancelsThePendingWrap",
                     Repeat('x', 80) + "\bY",
                     {{1, Repeat('x', 78) + "Yx"}},
                     1,
                     80},
        GoldenScreen{"TabCancelsThePendingWrap",
                     Repeat('x', 80) + "\tY",
                     {{1, Repeat('x', 79) + "Y"}},
                     1,
                     80,
                     true},
        GoldenScreen{"LineFeedOnBottomRowMovesRowOneToHistory",
                     "TOP" + Repeat('\n', 24) + "\rB",
                     {{0, "TOP"}, {24, "B"}},
                     24,
                     2},
        GoldenScreen{"LineFeedOnBottomRowCancelsThePendingWrap",
                     Repeat('\n', 23) + Repeat('x', 80) + "\ny",
                     {{23, Repeat('x', 80)}, {24, Repeat(' ', 79) + "y"}},
                     24,
                     80,
                     true},
        GoldenScreen{"WrapOnBottomRowScrolls",
                     Repeat('\n', 23) + Repeat('w', 81),
                     {{23, Repeat('w', 80)}, {24, "w"}},
                     24,
                     2},
        GoldenScreen{"HistoryKeepsTheOldestRows", Lines(30), LineRows(30), 24, 1},
        GoldenScreen{"OldestHistoryRowsAreDiscarded", Lines(200) + "end",
                     [] {
                       auto rows = LineRows(200);
                       rows.erase(-176);  // line 1 fell out of the 200 rows
                       rows[24] = "end";
                       return rows;
                     }(),
                     24, 4},
        GoldenScreen{"TabFromColumnOne", "\tT", {{1, Repeat(' ', 8) + "T"}}, 1, 10},
        GoldenScreen{"TabFromColumnSeventyThreeGoesToEighty",
                     Repeat('-', 72) + "\t\tT",
                     {{1, Repeat('-', 72) + Repeat(' ', 7) + "T"}},
                     1,
                     80,
                     true},
        GoldenScreen{"TabBeyondTheLastStop",
                     Repeat('-', 75) + "\tT",
                     {{1, Repeat('-', 75) + "    T"}},
                     1,
                     80,
                     true},
        GoldenScreen{"BackspaceInColumnOneStays", "\b\bA", {{1, "A"}}, 1, 2},
        GoldenScreen{"BackspaceOverwrites", "AB\b\bC", {{1, "CB"}}, 1, 2},
        GoldenScreen{"NulEscFfAreDropped",
                     std::string("A\0\x1b\x0c"
                                 "B",
                                 5),
                     {{1, "AB"}},
                     1,
                     3},
        GoldenScreen{"EscapeSequenceShowsItsPrintableBytes", "\x1b[2J", {{1, "[2J"}}, 1, 4},
        GoldenScreen{"OtherControlBytesAreDropped",
                     std::string("\x01\x02\x03\x04\x05\x06\x0b\x0e\x0f\x10\x11\x12\x13\x14\x15"
                                 "\x16\x17\x18\x19\x1a\x1c\x1d\x1e\x1f"),
                     {},
                     1,
                     1},
        GoldenScreen{"BellMovesNothing", "A\aB", {{1, "AB"}}, 1, 3},
        GoldenScreen{"DelAndHighBytesAreShown", "\x7f\x80\xff", {{1, "\x7f\x80\xff"}}, 1, 4}),
    [](const testing::TestParamInfo<GoldenScreen>& info) { return info.param.name; });

TEST(TAdTTYEmulator, BellBeepsOncePerByte) {
  test::FakeHost host;
  TAdTTYEmulator emulator;
  emulator.SetTerminal(&host);
  std::vector<std::uint8_t> bytes = Bytes("\a.\a\a");
  emulator.HandleReceivedBlock(bytes.data(), bytes.size());
  EXPECT_EQ(host.beeps, 3);
}

TEST(TAdTTYEmulator, EraseEverythingEmptiesScreenAndHistory) {
  TAdTTYEmulator emulator;
  std::vector<std::uint8_t> bytes = Bytes(Lines(40) + "tail");
  emulator.HandleReceivedBlock(bytes.data(), bytes.size());
  emulator.EraseEverything();
  const TAdTerminalBuffer& buffer = emulator.Buffer();
  for (int row = buffer.OldestRow().Value(); row <= buffer.RowCount(); ++row)
    ASSERT_EQ(RowText(buffer, ScreenRow(row)), "") << "row " << row;
  EXPECT_EQ(buffer.CursorRow().Value(), 1);
  EXPECT_EQ(buffer.CursorCol().Value(), 1);
}

TEST(TAdTTYEmulator, ForwardsEveryCursorMoveToAListeningView) {
  test::FakeHost host;
  host.listensToCursor = true;
  TAdTTYEmulator emulator;
  emulator.SetTerminal(&host);
  std::vector<std::uint8_t> bytes = Bytes("ab\r\n");
  emulator.HandleReceivedBlock(bytes.data(), bytes.size());
  EXPECT_EQ(host.cursorMoves, (std::vector<std::pair<int, int>>{{1, 2}, {1, 3}, {1, 1}, {2, 1}}));
  host.listensToCursor = false;
  emulator.HandleReceivedBlock(bytes.data(), bytes.size());
  EXPECT_EQ(host.cursorMoves.size(), 4u);
  // Listening again after an unheard block: every step is heard again.
  host.listensToCursor = true;
  emulator.HandleReceivedBlock(bytes.data(), 2);
  EXPECT_EQ(host.cursorMoves.size(), 6u);
  EXPECT_EQ(host.cursorMoves.back(), std::make_pair(3, 3));
}

}  // namespace
}  // namespace terminal
