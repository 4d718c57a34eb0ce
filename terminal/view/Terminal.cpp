#include "terminal/view/Terminal.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include "serial/ExceptionDisplay.h"
#include "serial/TriggerMessages.h"
#include "terminal/view/QtTerminalCanvas.h"
#include "terminal/view/TerminalAccessible.h"

namespace terminal {
namespace {

constexpr int kTimerMs = 100;
constexpr int kUnderlineHeight = 2;

QRect ToQRect(const PixelRect& rect) {
  return QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1));
}

ScrollAction ActionFor(int sliderAction) {
  switch (sliderAction) {
    case QAbstractSlider::SliderSingleStepSub:
      return ScrollAction::LineBack;
    case QAbstractSlider::SliderSingleStepAdd:
      return ScrollAction::LineForward;
    case QAbstractSlider::SliderPageStepSub:
      return ScrollAction::PageBack;
    case QAbstractSlider::SliderPageStepAdd:
      return ScrollAction::PageForward;
    case QAbstractSlider::SliderMove:
      return ScrollAction::Thumb;
    default:
      return ScrollAction::Other;
  }
}

}  // namespace

TAdTerminal::TAdTerminal(QWidget* parent)
    : QAbstractScrollArea(parent),
      builtInEmulator_(std::make_unique<TAdTTYEmulator>()),
      receive_(std::make_shared<ReceiveState>()),
      font_(QStringLiteral("Terminal"), 9) {
  invalidating_ = std::make_unique<InvalidatingCanvas>(*viewport());
  builtInEmulator_->SetBuiltIn(true);
  builtInEmulator_->SetTerminal(this);
  window_ = platform::CreateMessageWindow(
      [this](platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
        return HandleMessage(msg, wParam, lParam);
      });
  receive_->window = window_;

  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The view paints every pixel itself; nothing is erased first.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setCursor(Qt::IBeamCursor);
  SetBorderStyle(bsSingle);
  connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
          [this](int action) { VerticalBarAction(action); });
  connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this,
          [this](int action) { HorizontalBarAction(action); });
  connect(&timer_, &QTimer::timeout, this,
          [this] { serial::RunUserAction([this] { TimerTick(); }); });
  frame_.setSingleShot(true);
  frame_.setTimerType(Qt::PreciseTimer);
  connect(&frame_, &QTimer::timeout, this,
          [this] { serial::RunUserAction([this] { PaintFrame(); }); });
  InstallTerminalAccessible();

  resize(300, 200);
  ComputeCellSize();
  SetActive(true);
  timer_.start(kTimerMs);
  LayoutView();
}

TAdTerminal::~TAdTerminal() {
  StopReceiving();
  if (port_) {
    port_->RemovePortUser(window_);
    port_->RemoveFreeNotification(this);
  }
  timer_.stop();
  if (emulator_) emulator_->SetTerminal(nullptr);
  platform::DestroyMessageWindow(window_);
}

const TAdTerminalBuffer& TAdTerminal::ScreenBuffer() const {
  return emulator_ ? emulator_->Buffer() : builtInEmulator_->Buffer();
}

platform::LRESULT TAdTerminal::HandleMessage(platform::UINT msg, platform::WPARAM,
                                             platform::LPARAM) {
  switch (msg) {
    case kMsgDataQueued:
      // The emulator and the cursor handler it raises may fail.
      serial::RunUserAction([this] { DataQueued(); });
      break;
    case kMsgRecreateWindow:
      ApplyScrollBars();
      break;
    case serial::kMsgPortOpened:
      // A failure to start is the port's to report; the view stays pending.
      try {
        if (pending_) StartReceiving();
      } catch (const std::exception&) {
      }
      break;
    case serial::kMsgPortClosing:
      StopReceiving();
      break;
    default:
      break;
  }
  return 0;
}

// --- Properties --------------------------------------------------------------

void TAdTerminal::SetActive(bool active) {
  active_ = active;
  if (active)
    StartReceiving();
  else
    StopReceiving();
}

void TAdTerminal::SetComPort(TerminalPort* port) {
  if (port == port_) return;
  StopReceiving();
  if (port_) {
    port_->RemovePortUser(window_);
    port_->RemoveFreeNotification(this);
  }
  port_ = port;
  if (port_) {
    port_->AddPortUser(window_);
    port_->FreeNotification(this, [this] { PortDestroyed(); });
  }
  if (active_) StartReceiving();
}

void TAdTerminal::SetEmulator(TAdTerminalEmulator* emulator) {
  if (emulator == emulator_) return;
  if (emulator_) emulator_->SetTerminal(nullptr);
  emulator_ = emulator;
  if (emulator_) emulator_->SetTerminal(this);
  leftCol_ = Column(1);
  topRow_ = ScreenRow(1);
  LayoutView();
  viewport()->update();
  PlaceCaret();
}

void TAdTerminal::SetColumns(int columns) {
  if (columns <= 0 || columns == Columns()) return;
  ScreenBuffer().SetColCount(columns);
  leftCol_ = Column(1);
  topRow_ = ScreenRow(1);
  LayoutView();
  viewport()->update();
  PlaceCaret();
}

void TAdTerminal::SetRows(int rows) {
  if (rows <= 0 || rows == Rows()) return;
  ScreenBuffer().SetRowCount(rows);
  KeepScrollPositionInBuffer();
  LayoutView();
  viewport()->update();
  PlaceCaret();
}

void TAdTerminal::SetScrollbackRows(int rows) {
  if (rows <= 0 || rows == ScrollbackRows()) return;
  ScreenBuffer().SetSVRowCount(rows);
  // A view scrolled into history rows that no longer exist comes back.
  KeepScrollPositionInBuffer();
  LayoutView();
  viewport()->update();
}

void TAdTerminal::SetScrollback(bool scrollback) {
  scrollback_ = scrollback;
  LayoutView();
}

void TAdTerminal::SetCursorType(TAdCursorType type) {
  cursorType_ = type;
  PlaceCaret();
}

void TAdTerminal::SetBorderStyle(TBorderStyle style) {
  borderStyle_ = style;
  setFrameStyle(style == bsSingle ? QFrame::Box | QFrame::Plain : QFrame::NoFrame);
  setLineWidth(1);
}

void TAdTerminal::SetColor(TerminalColor color) {
  color_ = color;
  viewport()->update();
}

void TAdTerminal::SetFont(const QFont& font) {
  font_ = font;
  ComputeCellSize();
  LayoutView();
  viewport()->update();
  PlaceCaret();
}

void TAdTerminal::SetFontColor(TerminalColor color) {
  fontColor_ = color;
  viewport()->update();
}

TerminalCanvas& TAdTerminal::Canvas() {
  if (canvas_) return *canvas_;
  // Outside a paint event, drawing marks the cells for the next one.
  invalidating_->SetArea(CellArea());
  return *invalidating_;
}

void TAdTerminal::CursorMoved(ScreenRow row, Column col) {
  if (OnCursorMoved) OnCursorMoved(this, row, col);
}

void TAdTerminal::Beep() {
  QApplication::beep();
}

void TAdTerminal::EraseEverything() {
  DrainQueue();  // what arrived before is erased too
  ActiveEmulator().EraseEverything();
  viewport()->update();
  PlaceCaret();
  ScheduleFrame();
}

// --- Geometry ----------------------------------------------------------------

void TAdTerminal::ComputeCellSize() {
  QFontMetrics metrics(font_);
  cellHeight_ = std::max(1, metrics.height() + std::max(0, metrics.leading()));
  int average = metrics.averageCharWidth();
  int width = average;
  if (QFontInfo(font_).fixedPitch()) width = average + (metrics.maxWidth() - average) / 2;
  cellWidth_ = std::max(1, width);
  runFont_ = RunFont(font_);
}

ViewGeometry TAdTerminal::GeometryNow() const {
  QSize client = viewport()->size();
  return {client.width(), client.height(),  cellWidth_, cellHeight_, Columns(),
          Rows(),         ScrollbackRows(), leftCol_,   topRow_,     scrollback_};
}

void TAdTerminal::KeepScrollPositionInBuffer() {
  leftCol_ = std::clamp(leftCol_, Column(1), ScreenBuffer().LastColumn());
  topRow_ = std::clamp(topRow_, ScreenBuffer().OldestRow(), ScreenBuffer().BottomRow());
  ViewGeometry geometry = GeometryNow();
  ViewLayout layout = ComputeLayout(geometry);
  leftCol_ = ClampLeftCol(leftCol_, geometry, layout);
  topRow_ = ClampTopRow(topRow_, geometry, layout);
}

QRect TAdTerminal::CellArea() const {
  return ToQRect(layout_.cellArea);
}

void TAdTerminal::LayoutView() {
  ViewLayout layout = ComputeLayout(GeometryNow());
  if (layout.horizontalBarNeeded != horizontalBarShown_ ||
      layout.verticalBarNeeded != verticalBarShown_) {
    // The bars change on a posted message, as a window with new styles
    // would; the layout runs again once the new client size is known.
    if (!recreatePosted_)
      recreatePosted_ = platform::PostMessage(window_, kMsgRecreateWindow, 0, 0);
    return;
  }
  QRect oldArea = CellArea();
  layout_ = layout;
  if (CellArea() != oldArea) viewport()->update();
  if (horizontalBarShown_) UpdateScrollBar(horizontalScrollBar(), layout_.horizontal);
  if (verticalBarShown_) UpdateScrollBar(verticalScrollBar(), layout_.vertical);
}

void TAdTerminal::ApplyScrollBars() {
  recreatePosted_ = false;
  ViewLayout layout = ComputeLayout(GeometryNow());
  bool horizontal = layout.horizontalBarNeeded;
  bool vertical = layout.verticalBarNeeded;
  // Trading one bar for the other could flip back and forth forever (each
  // bar's space calls for the other one): show both instead.
  if (horizontal != horizontalBarShown_ && vertical != verticalBarShown_ && horizontal != vertical)
    horizontal = vertical = true;
  horizontalBarShown_ = horizontal;
  verticalBarShown_ = vertical;
  setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  LayoutView();
  viewport()->update();
}

void TAdTerminal::UpdateScrollBar(QScrollBar* bar, const ScrollRange& range) {
  // Qt's range holds thumb positions only; the platform's holds every
  // position the thumb covers.
  int last = std::max(range.min, range.max - range.page + 1);
  QSignalBlocker block(bar);
  bar->setRange(range.min, last);
  bar->setPageStep(std::max(1, range.page));
  bar->setSingleStep(1);
  bar->setValue(range.pos);
  bar->setEnabled(last > range.min);
}

void TAdTerminal::scrollContentsBy(int, int) {
  // Scrolling is driven by the bar actions, which move the contents.
}

void TAdTerminal::VerticalBarAction(int action) {
  QScrollBar* bar = verticalScrollBar();
  VerticalScroll result = ScrollVertically(ActionFor(action), bar->sliderPosition(), GeometryNow());
  scrollback_ = result.scrollback;
  SetTopRow(result.topRow);
  bar->setSliderPosition(topRow_.Value() - 1);
}

void TAdTerminal::HorizontalBarAction(int action) {
  QScrollBar* bar = horizontalScrollBar();
  SetLeftCol(ScrollHorizontally(ActionFor(action), bar->sliderPosition(), GeometryNow()));
  bar->setSliderPosition(leftCol_.Value() - 1);
}

void TAdTerminal::SetTopRow(ScreenRow topRow) {
  if (topRow != topRow_) {
    int dy = (topRow_ - topRow) * cellHeight_;
    topRow_ = topRow;
    viewport()->scroll(0, dy, CellArea());
    caretRect_.translate(0, dy);
    ScheduleFrame();
  }
  LayoutView();
  PlaceCaret();
}

void TAdTerminal::SetLeftCol(Column leftCol) {
  if (leftCol != leftCol_) {
    int dx = (leftCol_ - leftCol) * cellWidth_;
    leftCol_ = leftCol;
    viewport()->scroll(dx, 0, CellArea());
    caretRect_.translate(dx, 0);
  }
  LayoutView();
  PlaceCaret();
}

void TAdTerminal::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  ViewGeometry geometry = GeometryNow();
  RefillAfterResize(geometry);
  leftCol_ = geometry.leftCol;
  topRow_ = geometry.topRow;
  LayoutView();
  viewport()->update();
  PlaceCaret();
}

void TAdTerminal::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) viewport()->update();  // system colours
}

// --- Painting and caret --------------------------------------------------------

void TAdTerminal::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  QRect area = event->rect();
  QColor background = ResolveColor(color_, palette());
  painter.fillRect(ToQRect(layout_.rightMargin) & area, background);
  painter.fillRect(ToQRect(layout_.bottomMargin) & area, background);
  QRect cells = CellArea() & area;
  if (!cells.isEmpty()) {
    painter.save();
    painter.setClipRect(cells);
    painter.setFont(font_);
    PainterCanvas canvas(painter, runFont_, palette(), cells);
    canvas_ = &canvas;
    serial::RunUserAction([this] { ActiveEmulator().Paint(); });
    canvas_ = nullptr;
    painter.restore();
  }
  // The caret goes on top of the cells, inverting them as a caret does.
  if (caretRect_.intersects(area)) {
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.fillRect(caretRect_ & area, Qt::white);
  }
}

int TAdTerminal::FrameWait() const {
  const qint64 wait = sinceFrame_.isValid() ? kFrameMs - sinceFrame_.elapsed() : 0;
  return int(std::clamp<qint64>(wait, 0, kFrameMs));
}

void TAdTerminal::ScheduleFrame() {
  // A view that painted a while ago paints at once: one byte typed at the
  // far end shows without waiting for a frame.
  if (!frame_.isActive()) frame_.start(FrameWait());
}

void TAdTerminal::PaintFrame() {
  DrainQueue();  // all that arrived since the last frame, in order
  sinceFrame_.start();
  if (ActiveEmulator().RepaintPending())
    RepaintChanges();
  else
    AnnounceScreen(*this, announcedText_);  // scrolled or cleared
}

void TAdTerminal::RepaintChanges() {
  // Through the invalidating canvas: Qt merges the marks into the region of
  // the next paint, which draws the buffer as it is then.
  ActiveEmulator().DeferredRepaint();
  PlaceCaret();
  AnnounceScreen(*this, announcedText_);
}

void TAdTerminal::InvalidateRow(ScreenRow row) {
  if (row < topRow_ || row >= topRow_ + layout_.visibleRows) return;
  viewport()->update(QRect(0, (row - topRow_) * cellHeight_, CellArea().width(), cellHeight_));
}

void TAdTerminal::PlaceCaret() {
  QRect caret;
  if (caretCreated_ && cursorType_ != ctNone) {
    const TAdTerminalBuffer& screen = ScreenBuffer();
    int x = (screen.CursorCol() - leftCol_) * cellWidth_;
    int y = (screen.CursorRow() - topRow_) * cellHeight_;
    int height = cellHeight_;
    if (cursorType_ == ctUnderline) {
      y += cellHeight_ - kUnderlineHeight;
      height = kUnderlineHeight;
    }
    if (viewport()->rect().contains(x, y)) caret = QRect(x, y, cellWidth_, height);
  }
  if (caret == caretRect_) return;
  viewport()->update(caretRect_);
  caretRect_ = caret;
  viewport()->update(caretRect_);
}

void TAdTerminal::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  caretCreated_ = true;
  PlaceCaret();
}

void TAdTerminal::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  caretCreated_ = false;
  PlaceCaret();
  // Losing the focus mid-drag is the platform's cancel-mode.
  if (mouseSelecting_) CancelSelection();
}

}  // namespace terminal
