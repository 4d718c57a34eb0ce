#include "app/StringGrid.h"

#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

namespace app {

TStringGrid::TStringGrid(QWidget* parent) : QWidget(parent) {
  SetColCount(5);
}

void TStringGrid::SetColCount(int count) {
  colWidths_.assign(std::size_t(std::max(1, count)), 24);
  ResizeCells();
}

void TStringGrid::SetRowCount(int count) {
  rowCount_ = std::max(1, count);
  ResizeCells();
}

void TStringGrid::SetColWidth(int col, int width) {
  colWidths_.at(col) = width;
  updateGeometry();
  update();
}

void TStringGrid::SetDefaultColWidth(int width) {
  std::fill(colWidths_.begin(), colWidths_.end(), width);
  updateGeometry();
  update();
}

void TStringGrid::ResizeCells() {
  cells_.resize(colWidths_.size() * std::size_t(rowCount_));
  rowToolTips_.resize(std::size_t(rowCount_));
  updateGeometry();
  update();
}

TStringGrid::Cell& TStringGrid::CellAt(int col, int row) {
  return cells_.at(std::size_t(row) * colWidths_.size() + std::size_t(col));
}

const TStringGrid::Cell& TStringGrid::Cells(int col, int row) const {
  return cells_.at(std::size_t(row) * colWidths_.size() + std::size_t(col));
}

void TStringGrid::SetCell(int col, int row, const QString& text, int object) {
  Cell& target = CellAt(col, row);
  if (target.text == text && target.object == object) return;
  target = {text, object};
  update(CellRect(col, row));
}

QRect TStringGrid::CellRect(int col, int row) const {
  int x = 0;
  for (int c = 0; c < col; ++c) x += colWidths_[c] + GridLineWidth();
  return QRect(x, row * (defaultRowHeight_ + GridLineWidth()), colWidths_.at(col),
               defaultRowHeight_);
}

QString TStringGrid::RowToolTip(int row) const {
  return rowToolTips_.at(std::size_t(row));
}

void TStringGrid::SetRowToolTip(int row, const QString& text) {
  rowToolTips_.at(std::size_t(row)) = text;
}

bool TStringGrid::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  const int row = help->pos().y() / (defaultRowHeight_ + GridLineWidth());
  const QString text = row >= 0 && row < rowCount_ ? RowToolTip(row) : QString();
  if (text.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), text, this,
                       CellRect(0, row).united(CellRect(ColCount() - 1, row)));
  }
  return true;
}

QSize TStringGrid::sizeHint() const {
  const QRect last = CellRect(ColCount() - 1, rowCount_ - 1);
  return QSize(last.right() + 1 + GridLineWidth(), last.bottom() + 1 + GridLineWidth());
}

void TStringGrid::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), palette().color(QPalette::Base));
  painter.setPen(palette().color(QPalette::Mid));
  // Lines between the non-fixed cells only.
  const QSize size = sizeHint();
  const int fixedRight = colWidths_[0] + GridLineWidth();
  for (int col = 1; col < ColCount(); ++col) {
    const int x = CellRect(col, 0).left() - 1;
    if (col > 1) painter.drawLine(x, 0, x, size.height() - 1);
  }
  for (int row = 1; row < rowCount_; ++row) {
    const int y = CellRect(0, row).top() - 1;
    painter.drawLine(fixedRight, y, size.width() - 1, y);
  }
  for (int row = 0; row < rowCount_; ++row) {
    for (int col = 0; col < ColCount(); ++col) {
      const QRect rect = CellRect(col, row);
      if (!rect.intersects(event->rect())) continue;
      if (OnDrawCell) {
        painter.save();
        OnDrawCell(painter, col, row, rect);
        painter.restore();
      }
    }
  }
}

}  // namespace app
