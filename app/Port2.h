// TPort2Frame: the panel of a board port: its status words, line lamps, line
// settings and counters as the last status tick read them, and the button
// that opens a terminal window on it. GUI thread.
#pragma once

#include <QWidget>
#include <memory>

#include "app/NodeData.h"

namespace Ui {
class TPort2Frame;
}

namespace gui {
class TLampPanel;
}

namespace app {

// The texts of the value labels, from a stored status record.
QString BaudRateText(const PortStatusRecord& status);
QString ParityText(std::uint32_t parity);
QString DataBitsText(std::uint32_t code);
QString StopBitsText(std::uint32_t stopBits);
// The status words of a port node.
QString PortStatusWords(const TNodeData& node);

class TPort2Frame : public QWidget {
  Q_OBJECT

 public:
  explicit TPort2Frame(QWidget* parent = nullptr);
  ~TPort2Frame() override;

  void FillOnSelection(const TNodeData& node, const QString& nodeText);
  void FillOnRefresh(const TNodeData& node);
  void SetTerminalButtonEnabled(bool enabled);
  bool TerminalButtonEnabled() const;
  // The line that names who else holds the port, and what its device is.
  void SetHolderText(const QString& text);
  QString HolderText() const;
  void SetDeviceText(const QString& text);
  QString DeviceText() const;
  void SetStatusText(const QString& text);
  QString StatusText() const;
  // A value label ("BaudRateLabel") or lamp ("RtsColBtnPanel") by name.
  QString ValueText(const char* labelName) const;
  gui::TLampPanel& Lamp(const char* lampName) const;

 signals:
  void TerminalButtonClick();

 private:
  std::unique_ptr<Ui::TPort2Frame> ui_;
};

}  // namespace app
