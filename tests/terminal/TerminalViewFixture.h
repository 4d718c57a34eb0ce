// A shown terminal view under the offscreen platform, with helpers to let
// posted messages run and to give the view an exact client size.
#pragma once

#include <gtest/gtest.h>

#include <QSize>
#include <string>

#include "terminal/view/Terminal.h"
#include "tests/terminal/TerminalTestSupport.h"

namespace terminal::test {

class TerminalViewTest : public testing::Test {
 protected:
  TerminalViewTest();
  ~TerminalViewTest() override;

  // Runs queued Qt events, platform messages and the view's next frame
  // until nothing new comes.
  void Settle();
  // Resizes the view until its client area (scroll bars excluded) has this
  // size in cells, plus extra pixels.
  void SetClientCells(int cols, int rows, int extraWidth = 0, int extraHeight = 0);
  // Bytes as if the port had received them, drained by the view.
  void Receive(const std::string& bytes);
  // Center of a cell of the client area, from (col, row) as shown on screen
  // (1-based, relative to the top-left visible cell).
  QPoint CellCenter(int visibleCol, int visibleRow) const;
  int CountPaintsWhile(const std::function<void()>& action);

  FakePort port;
  TAdTerminal view;
};

}  // namespace terminal::test
