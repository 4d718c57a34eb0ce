// TAdTerminal: the terminal view. Shows the screen buffer of its emulator in
// a scroll area, takes the bytes its serial port receives, sends what the
// user types, scrolls over screen and history, and copies a mouse selection
// to the clipboard.
//
// Threads: the view lives on the GUI thread, which must pump platform
// messages (create a platform::QtMessagePump after the QApplication). The
// only thing another thread touches is the received-byte queue, filled by
// the data handler on the port's dispatcher thread; it keeps its own lock
// and outlives the view while a handler still runs.
//
// Ownership: the view owns its built-in TTY emulator; an emulator set with
// SetEmulator is not owned and must outlive the view or be unset first. The
// port set with SetComPort is not owned either; when it is destroyed first,
// its free notification makes the view drop it (Active off, no ComPort).
//
// Errors: opening the port from StartReceiving raises what the port raises;
// the buffer's dimension errors (TerminalError) pass through the Columns,
// Rows and ScrollbackRows setters. What raises inside the view's own event
// handlers (typing, painting, received data, the timer) goes to the
// program's exception display (serial::RunUserAction) and stops there.
#pragma once

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QFont>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Messages.h"
#include "terminal/ByteQueue.h"
#include "terminal/TTYEmulator.h"
#include "terminal/TerminalHost.h"
#include "terminal/TerminalLayout.h"
#include "terminal/view/QtTerminalCanvas.h"

namespace terminal {

enum TAdCursorType { ctNone, ctUnderline, ctBlock };
enum TBorderStyle { bsNone, bsSingle };

class TAdTerminal : public QAbstractScrollArea, public TerminalHost {
 public:
  // Posted to the view's own window.
  static constexpr platform::UINT kMsgDataQueued = 0x7E47;
  static constexpr platform::UINT kMsgRecreateWindow = 0x7E4D;
  // The shortest time between two repaints of received data.
  static constexpr int kFrameMs = 25;

  using TAdTerminalCursorMovedEvent =
      std::function<void(TAdTerminal* sender, ScreenRow row, Column col)>;
  using TKeyEvent = std::function<void(TAdTerminal* sender, int& key, Qt::KeyboardModifiers shift)>;
  using TKeyPressEvent = std::function<void(TAdTerminal* sender, std::uint8_t& key)>;

  explicit TAdTerminal(QWidget* parent = nullptr);
  ~TAdTerminal() override;

  // --- Properties ------------------------------------------------------------
  bool Active() const { return active_; }
  void SetActive(bool active);
  TerminalPort* ComPort() const override { return port_; }
  void SetComPort(TerminalPort* port);
  // nullptr while the built-in TTY emulator is used.
  TAdTerminalEmulator* Emulator() const { return emulator_; }
  void SetEmulator(TAdTerminalEmulator* emulator);
  // Dimensions of the buffer; values of 0 or less are ignored.
  int Columns() const { return ScreenBuffer().ColCount(); }
  void SetColumns(int columns);
  int Rows() const { return ScreenBuffer().RowCount(); }
  void SetRows(int rows);
  int ScrollbackRows() const { return ScreenBuffer().SVRowCount(); }
  void SetScrollbackRows(int rows);
  // Lets a window too short for the screen scroll into the history.
  bool Scrollback() const { return scrollback_; }
  void SetScrollback(bool scrollback);
  // On: received data is painted at the next timer tick; off: at the next
  // frame, at most one every kFrameMs.
  bool UseLazyDisplay() const { return useLazyDisplay_; }
  void SetUseLazyDisplay(bool lazy) { useLazyDisplay_ = lazy; }
  bool HalfDuplex() const override { return halfDuplex_; }
  void SetHalfDuplex(bool halfDuplex) { halfDuplex_ = halfDuplex; }
  // The view takes Tab and arrows itself instead of leaving them to focus
  // navigation.
  bool WantAllKeys() const { return wantAllKeys_; }
  void SetWantAllKeys(bool want) { wantAllKeys_ = want; }
  TAdCursorType CursorType() const { return cursorType_; }
  void SetCursorType(TAdCursorType type);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle style);
  TerminalColor Color() const override { return color_; }
  void SetColor(TerminalColor color);
  const QFont& Font() const { return font_; }
  void SetFont(const QFont& font);
  TerminalColor FontColor() const override { return fontColor_; }
  void SetFontColor(TerminalColor color);

  // --- Events ----------------------------------------------------------------
  TAdTerminalCursorMovedEvent OnCursorMoved;
  // Raised for every key the view does not consume itself.
  TKeyEvent OnKeyDown;
  // Raised with the typed character before it is sent; 0 drops it.
  TKeyPressEvent OnKeyPress;

  // --- Operations ------------------------------------------------------------
  // Empties screen and history, homes the cursor and repaints.
  void EraseEverything();
  // Puts the selection on the clipboard as text; nothing without a selection.
  void Copy();
  // The 100 ms timer's step: extends a mouse selection (scrolling when the
  // pointer is outside) and paints lazily. Public so that tests can step it.
  void TimerTick();

  // --- State -----------------------------------------------------------------
  // A buffer cell; 0, 0 where there is none.
  struct CellPos {
    Column col;
    ScreenRow row;
  };
  Column LeftCol() const { return leftCol_; }
  ScreenRow TopRow() const { return topRow_; }
  bool Receiving() const { return receiving_; }
  bool Pending() const { return pending_; }
  bool HasSelection() const { return hasSelection_; }
  // The selection in reading order; 0, 0 without one.
  CellPos SelectionStart() const { return selStart_; }
  CellPos SelectionEnd() const { return selEnd_; }
  // Received data waits for the next frame to be handled and painted.
  bool FramePending() const { return frame_.isActive(); }
  // Received bytes not yet handed to the emulator (any thread).
  std::size_t QueuedBytes() const { return receive_->queue.Count(); }
  // Where the caret is drawn; empty while it is hidden.
  QRect CaretRect() const { return caretRect_; }
  platform::HWND Handle() const { return window_; }
  TAdTerminalEmulator& ActiveEmulator() { return emulator_ ? *emulator_ : *builtInEmulator_; }

  // --- What the emulator uses (TerminalHost) ---------------------------------
  // The painter's canvas during a paint event; otherwise one that marks the
  // drawn cells for the next paint.
  TerminalCanvas& Canvas() override;
  bool CursorMovedAssigned() const override { return static_cast<bool>(OnCursorMoved); }
  void CursorMoved(ScreenRow row, Column col) override;
  int CharWidth() const override { return cellWidth_; }
  int CharHeight() const override { return cellHeight_; }
  Column ClientLeftCol() const override { return leftCol_; }
  ScreenRow ClientTopRow() const override { return topRow_; }
  int ClientCols() const override { return layout_.visibleCols; }
  int ClientRows() const override { return layout_.visibleRows; }
  void Beep() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // Shared with the data handler, which may outlive the view briefly.
  struct ReceiveState {
    TaaByteQueue queue;
    platform::HWND window = 0;
  };

  const TAdTerminalBuffer& ScreenBuffer() const;
  TAdTerminalBuffer& ScreenBuffer() { return ActiveEmulator().Buffer(); }
  platform::LRESULT HandleMessage(platform::UINT msg, platform::WPARAM wParam,
                                  platform::LPARAM lParam);

  // Geometry (Terminal.cpp)
  ViewGeometry GeometryNow() const;
  void ComputeCellSize();
  void LayoutView();
  void ApplyScrollBars();
  void UpdateScrollBar(QScrollBar* bar, const ScrollRange& range);
  void VerticalBarAction(int action);
  void HorizontalBarAction(int action);
  void SetTopRow(ScreenRow topRow);
  void SetLeftCol(Column leftCol);
  void KeepScrollPositionInBuffer();
  void PlaceCaret();
  // Received data is painted at the next frame: what the buffer holds then.
  int FrameWait() const;
  void ScheduleFrame();
  void PaintFrame();
  void RepaintChanges();
  QRect CellArea() const;
  void InvalidateRow(ScreenRow row);

  // Receiving (TerminalReceive.cpp)
  void StartReceiving();
  void StopReceiving();
  void PortDestroyed();
  void DataQueued();
  // Hands the queued bytes to the emulator; false when there were none.
  bool DrainQueue();

  // Keys and selection (TerminalInput.cpp)
  void KeyPressed(QKeyEvent* event);
  QPoint ClampToCellArea(QPoint point) const;
  CellPos CellAt(QPoint point) const;
  void ExtendSelection(QPoint point);
  void MarkSelection(CellPos start, CellPos end, CellPos oldStart, CellPos oldEnd);
  void ClearSelection();
  void CancelSelection();

  std::unique_ptr<TAdTTYEmulator> builtInEmulator_;
  TAdTerminalEmulator* emulator_ = nullptr;
  TerminalCanvas* canvas_ = nullptr;  // set during a paint event
  std::unique_ptr<InvalidatingCanvas> invalidating_;
  QTimer timer_;
  QTimer frame_;
  QElapsedTimer sinceFrame_;
  QString announcedText_;  // the text assistive technology heard last
  std::shared_ptr<ReceiveState> receive_;
  ByteBlock drained_;
  platform::HWND window_ = 0;

  bool active_ = false;
  TerminalPort* port_ = nullptr;
  bool scrollback_ = false;
  bool useLazyDisplay_ = true;
  bool halfDuplex_ = false;
  bool wantAllKeys_ = true;
  TAdCursorType cursorType_ = ctBlock;
  TBorderStyle borderStyle_ = bsSingle;
  TerminalColor color_ = kColorBlack;
  QFont font_;
  RunFont runFont_;
  TerminalColor fontColor_ = kColorSilver;

  int cellWidth_ = 1;
  int cellHeight_ = 1;
  Column leftCol_{1};
  ScreenRow topRow_{1};
  ViewLayout layout_{};
  bool horizontalBarShown_ = false;
  bool verticalBarShown_ = false;
  bool recreatePosted_ = false;
  bool caretCreated_ = false;
  QRect caretRect_;

  CellPos anchor_;
  CellPos selStart_;
  CellPos selEnd_;
  bool mouseSelecting_ = false;
  bool hasSelection_ = false;
  QPoint lastMousePos_;

  bool receiving_ = false;
  bool pending_ = false;
};

}  // namespace terminal
