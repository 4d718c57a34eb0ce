// TAdTTYEmulator: a plain teletype. Printable bytes (0x20 and above, 0x7F and
// 0x80..0xFF included) are written to the buffer; BEL beeps, BS, HT, LF and CR
// move the cursor; every other byte below 0x20 is dropped. No escape
// sequences are interpreted.
//
// Painting: DeferredRepaint draws the cells changed since it last ran, and
// every row the view shows once the screen has scrolled; rows are drawn in
// runs of cells with equal colours and attributes, right to left, one canvas
// call per run of at most kMaxRunChars cells, each cell advancing exactly the
// view's cell width. Colours follow the view's colour and font colour. GUI
// thread only.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "terminal/TerminalEmulator.h"

namespace terminal {

class TAdTTYEmulator : public TAdTerminalEmulator {
 public:
  // The size of the paint buffers: longer stretches are drawn in pieces.
  static constexpr int kMaxRunChars = 255;

  TAdTTYEmulator();

  bool RepaintPending() override;
  void EraseEverything() override;
  // Sends the character (Backspace as DEL, 0x7F) with local echo.
  void KeyPress(std::uint8_t& ch) override;
  // Without a view nothing is painted and the changes stay pending.
  void DeferredRepaint() override;
  void Paint() override;
  void HandleReceivedBlock(const std::uint8_t* bytes, std::size_t count) override;

 private:
  struct Run {
    Column firstCol;
    Column lastCol;
    TerminalColor fore;
    TerminalColor back;
    std::uint8_t attrs;
  };

  void SyncColors();
  // Every row the view shows, the whole width.
  void PaintVisibleRows();
  void PaintRow(ScreenRow row, Column fromCol, Column toCol);
  void PaintRun(ScreenRow row, const Run& run, const std::uint8_t* chars);

  std::array<std::int32_t, kMaxRunChars> cellAdvances_{};
  std::array<char, kMaxRunChars + 1> runText_{};
  std::vector<Run> runs_;  // reused, so painting allocates nothing once warm
  bool fullRepaint_ = false;
};

}  // namespace terminal
