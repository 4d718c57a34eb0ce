// TStringGrid: a grid of text cells, each with a highlight flag (the
// cell's object slot, 0 or 1), whose owner draws every cell (OnDrawCell).
// Column 0 is fixed; grid lines run between the other cells only. GUI thread.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

namespace app {

class TStringGrid : public QWidget {
  Q_OBJECT

 public:
  struct Cell {
    QString text;
    int object = 0;
  };
  using DrawCellEvent = std::function<void(QPainter& painter, int col, int row, const QRect& rect)>;

  explicit TStringGrid(QWidget* parent = nullptr);

  int ColCount() const { return int(colWidths_.size()); }
  void SetColCount(int count);
  int RowCount() const { return rowCount_; }
  // At least one row always remains.
  void SetRowCount(int count);
  int DefaultRowHeight() const { return defaultRowHeight_; }
  int GridLineWidth() const { return 1; }
  int ColWidth(int col) const { return colWidths_.at(col); }
  void SetColWidth(int col, int width);
  void SetDefaultColWidth(int width);

  const Cell& Cells(int col, int row) const;
  void SetCell(int col, int row, const QString& text, int object);

  // Where cell (col, row) is drawn.
  QRect CellRect(int col, int row) const;

  // A row's tool tip, shown over any of its cells (also while the grid is
  // disabled).
  QString RowToolTip(int row) const;
  void SetRowToolTip(int row, const QString& text);

  DrawCellEvent OnDrawCell;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  Cell& CellAt(int col, int row);
  void ResizeCells();

  std::vector<int> colWidths_;
  int rowCount_ = 1;
  int defaultRowHeight_ = 14;
  std::vector<Cell> cells_;
  std::vector<QString> rowToolTips_;
};

}  // namespace app
