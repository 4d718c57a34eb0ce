#include "app/Board1.h"

#include <QPainter>

#include "app/StringGrid.h"
#include "gui/Util.h"
#include "ui_Board1.h"

namespace app {
namespace {

constexpr int kColumns = 10;
const QColor kLimeGreen(0, 255, 0);

// Columns 2 to 9: their texts and when each is highlighted.
struct LineColumn {
  const char* text;
  bool (*on)(const TNodeData& node);
};
const LineColumn kLineColumns[] = {
    {"RTS", [](const TNodeData& n) { return n.PortStatus.Rts().On(); }},
    {"DTR", [](const TNodeData& n) { return n.PortStatus.Dtr().On(); }},
    {"CTS", [](const TNodeData& n) { return n.PortStatus.Cts().On(); }},
    {"DSR", [](const TNodeData& n) { return n.PortStatus.Dsr().On(); }},
    {"CD", [](const TNodeData& n) { return n.PortStatus.Cd().On(); }},
    {"RI", [](const TNodeData& n) { return n.PortStatus.Ri().On(); }},
    {"TX", [](const TNodeData& n) { return n.TxActive; }},
    {"RX", [](const TNodeData& n) { return n.RxActive; }},
};
static_assert(std::size(kLineColumns) + 2 == kColumns);

}  // namespace

TBoard1Frame::TBoard1Frame(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TBoard1Frame>()) {
  ui_->setupUi(this);
  gui::LinkCaptions(*this);
  setBackgroundRole(QPalette::Base);
  TStringGrid& grid = PortsStringGrid();
  grid.SetColCount(kColumns);
  grid.SetDefaultColWidth(24);
  grid.OnDrawCell = [this](QPainter& painter, int col, int row, const QRect& rect) {
    PortsStringGridDrawCell(painter, col, row, rect);
  };
}

TBoard1Frame::~TBoard1Frame() = default;

TStringGrid& TBoard1Frame::PortsStringGrid() const {
  return *ui_->PortsStringGrid;
}

void TBoard1Frame::FillOnSelection(const TNodeData& board, const QString& boardText) {
  TStringGrid& grid = PortsStringGrid();
  grid.SetRowCount(board.PortCount);
  grid.SetColWidth(0, 100);
  grid.SetColWidth(1, 40);
  grid.resize(grid.sizeHint().width(),
              grid.RowCount() * (grid.DefaultRowHeight() + grid.GridLineWidth()));
  ui_->DrvrVersionLabel->setText(QString::fromLatin1(board.DriverVersion));
  ui_->BrdTypeLabel->setText(boardText);
  // Board names are longer than the design's; the driver version follows
  // the name instead of overlapping it.
  ui_->BrdTypeLabel->adjustSize();
  ui_->DrvrVersionTextLabel->adjustSize();
  ui_->DrvrVersionLabel->adjustSize();
  const int versionLeft = std::max(170, ui_->BrdTypeLabel->geometry().right() + 16);
  ui_->DrvrVersionTextLabel->move(versionLeft, ui_->DrvrVersionTextLabel->y());
  ui_->DrvrVersionLabel->move(ui_->DrvrVersionTextLabel->geometry().right() + 6,
                              ui_->DrvrVersionLabel->y());
  resize(std::max(grid.geometry().right(), ui_->DrvrVersionLabel->geometry().right()) + 4,
         grid.geometry().bottom() + 4);
  setMinimumSize(size());
}

void TBoard1Frame::FillOnRefresh(std::int32_t portCount, const std::vector<PortRow>& rows) {
  TStringGrid& grid = PortsStringGrid();
  const int shown = std::min<int>(grid.RowCount(), std::max(portCount, 0));
  for (int r = 0; r < grid.RowCount(); ++r) {
    if (r >= shown || r >= int(rows.size())) {
      for (int col = 0; col < kColumns; ++col) grid.SetCell(col, r, QString(), 0);
      grid.SetRowToolTip(r, QString());
      continue;
    }
    grid.SetRowToolTip(r, rows[r].toolTip);
    const TNodeData& node = *rows[r].node;
    grid.SetCell(0, r, rows[r].text, 0);
    const bool closed = node.PortStatus.Closed();
    grid.SetCell(1, r, closed ? QStringLiteral("Closed") : QStringLiteral("Open"), 0);
    for (int i = 0; i < int(std::size(kLineColumns)); ++i) {
      if (closed)
        grid.SetCell(2 + i, r, QString(), 0);
      else
        grid.SetCell(2 + i, r, kLineColumns[i].text, kLineColumns[i].on(node) ? 1 : 0);
    }
  }
}

void TBoard1Frame::PortsStringGridDrawCell(QPainter& painter, int col, int row, const QRect& rect) {
  const TStringGrid::Cell& cell = PortsStringGrid().Cells(col, row);
  QColor background = palette().color(QPalette::Base);
  QColor text = palette().color(QPalette::ButtonText);
  if (col >= 2 && cell.object != 0) {
    background = kLimeGreen;
    text = Qt::black;
  }
  painter.fillRect(rect, background);
  painter.setPen(text);
  painter.drawText(rect.adjusted(1, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   cell.text);
}

}  // namespace app
