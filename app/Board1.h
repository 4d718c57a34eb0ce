// TBoard1Frame: the board panel, with the board's name, its driver version
// and a live grid of its ports. GUI thread.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "app/NodeData.h"

namespace Ui {
class TBoard1Frame;
}

namespace app {

class TStringGrid;

class TBoard1Frame : public QWidget {
  Q_OBJECT

 public:
  // A port node of the board: its text, record and tool tip.
  struct PortRow {
    QString text;
    const TNodeData* node;
    QString toolTip;
  };

  explicit TBoard1Frame(QWidget* parent = nullptr);
  ~TBoard1Frame() override;

  void FillOnSelection(const TNodeData& board, const QString& boardText);
  // rows: the board's port nodes in tree order (at most portCount are shown).
  void FillOnRefresh(std::int32_t portCount, const std::vector<PortRow>& rows);

  TStringGrid& PortsStringGrid() const;

 private:
  void PortsStringGridDrawCell(QPainter& painter, int col, int row, const QRect& rect);

  std::unique_ptr<Ui::TBoard1Frame> ui_;
};

}  // namespace app
