// TPort1Frame: the panel of a port under "Other ports", with the button that
// opens a terminal window on it. GUI thread.
#pragma once

#include <QWidget>
#include <memory>

#include "app/NodeData.h"

namespace Ui {
class TPort1Frame;
}

namespace app {

class TPort1Frame : public QWidget {
  Q_OBJECT

 public:
  explicit TPort1Frame(QWidget* parent = nullptr);
  ~TPort1Frame() override;

  void FillOnSelection(const TNodeData& node, const QString& nodeText);
  void SetTerminalButtonEnabled(bool enabled);
  bool TerminalButtonEnabled() const;
  // The line that names who else holds the port, and what its device is.
  void SetHolderText(const QString& text);
  QString HolderText() const;
  void SetDeviceText(const QString& text);
  QString DeviceText() const;

 signals:
  void TerminalButtonClick();

 private:
  std::unique_ptr<Ui::TPort1Frame> ui_;
};

}  // namespace app
