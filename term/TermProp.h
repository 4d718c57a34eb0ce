// TTermPropForm: the modal properties dialog of a terminal window. Shows the
// window's line settings (baud rate, parity, data bits, stop bits, flow
// control) and applies them, setting by setting, to that window's port or to
// the ports of every terminal window. A setting the port refuses is reported
// and put back to its previous value, in the port and in the dialog.
//
// Use: the terminal window constructs it for one use (caption, controls
// filled from its port, Apply disabled), runs exec() and frees it. GUI thread.
#pragma once

#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <optional>

#include "serial/ComPort.h"
#include "term/TermMDIChild.h"
#include "term/TermMainWindow.h"

namespace Ui {
class TTermPropForm;
}

namespace term {

// What a flow-control choice sets on a port: the flow option, and for every
// choice but "None" the buffer levels, as fractions of the input size.
struct FlowControlSetting {
  serial::THWFlowOptions hwFlowOptions = 0;
  serial::TSWFlowOptions swFlowOptions = serial::swfNone;
  bool setsLevels = false;
  std::uint16_t bufferFull = 0;
  std::uint16_t bufferResume = 0;
};

// The choice at a flow-control item index (0 "None" .. 3 "Xon/Xoff") for a
// port with this input size; nullopt for any other index.
std::optional<FlowControlSetting> FlowControlFor(int index, std::uint16_t inSize);
// The item a port's flow options show: exactly RTS/CTS, exactly DTR/DSR,
// else Xon/Xoff when both directions are on, else "None".
int FlowControlIndex(serial::THWFlowOptions hwFlowOptions, serial::TSWFlowOptions swFlowOptions);

class TTermPropForm : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 20;
  static constexpr int kButtonHelpContext = 40;

  TTermPropForm(TermMainWindow& mainWindow, TTermMDIChildForm& owner, QWidget* parent = nullptr);
  ~TTermPropForm() override;

  // "OK" and "&Apply": the settings go to the owner window, or to every
  // terminal window in MDI order when the check box is set; then "&Apply" is
  // disabled.
  void ApplyButtonClick();
  // Applies the five settings to one port, each read afresh from the
  // controls and each tried even when an earlier one failed.
  void ApplySettings(serial::TApdCustomComPort& port);

 private:
  void FillFromPort(serial::TApdCustomComPort& port);
  void ConnectControls();
  void GenericChange();
  void ApplyToAllOpenPortsCheckBoxClick();
  void HelpButtonClick();
  void ApplyBaud(serial::TApdCustomComPort& port);
  void ApplyParity(serial::TApdCustomComPort& port);
  void ApplyDataBits(serial::TApdCustomComPort& port);
  void ApplyStopBits(serial::TApdCustomComPort& port);
  void ApplyFlowControl(serial::TApdCustomComPort& port);

  TermMainWindow& mainWindow_;
  QPointer<TTermMDIChildForm> owner_;
  std::unique_ptr<Ui::TTermPropForm> ui_;
};

}  // namespace term
