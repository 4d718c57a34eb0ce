// TTermMDIChildForm: the terminal window on one COM port. An MDI child that
// opens its port when it is created, shows a terminal view on it, lamps for
// the six modem lines (RTS and DTR toggle on a click), and "Test" (the
// loopback test), "Clear " and "Properties". It marks its device-tree node as
// in use by this program while it lives and releases it when it closes.
//
// Use: the main window constructs it (the constructor reads CurrentComNumber
// and the tree selection and opens the port; a failure shows "COMn failed to
// open!" and the window then closes itself, queued), adds it with
// QMdiArea::addSubWindow, sets the caption (node text + " Terminal") and
// shows it. It deletes itself when closed; closing never fails.
//
// Threads: GUI thread only. The port's trigger events arrive there.
//
// Lifetime: the port and its link to the view are declared before the form
// widget that holds the view, so the view always goes first; the close
// detaches the view before the port closes. While one of the window's own
// message waits runs (the loopback test, the properties dialog), a close
// goes ahead but the deletion waits until that handler has returned.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <memory>

#include "serial/ComPort.h"
#include "term/TermMainWindow.h"
#include "terminal/ComPortLink.h"

namespace Ui {
class TTermMDIChildForm;
}
namespace terminal {
class TAdTerminal;
}

namespace term {

class TTermMDIChildForm : public QMdiSubWindow {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 20;
  static constexpr std::int32_t kBaud = 115200;
  // The CTS, DSR and DCD line bits and the ring change bit.
  static constexpr std::uint16_t kModemStatusMask = 0xB4;

  explicit TTermMDIChildForm(TermMainWindow& mainWindow, QWidget* parent = nullptr);
  ~TTermMDIChildForm() override;

  serial::TApdComPort& ApdComPort() { return apdComPort_; }
  terminal::TAdTerminal& AdTerminal();
  // The port opened at creation.
  bool PortOpened() const { return portOpened_; }
  // The port's device went away under the open window (a far-end hang-up,
  // an adapter pulled out): the caption says so, the lamps show nothing and
  // the view no longer sends. The port stays the window's until it closes.
  bool Disconnected() const { return disconnected_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Holds the window's deletion back while a handler that pumps messages
  // runs; the outermost one lets a pending deletion go.
  class BusyScope {
   public:
    explicit BusyScope(TTermMDIChildForm& window);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    QPointer<TTermMDIChildForm> window_;
  };

  void ConnectControls();
  void FormCreate();
  void FormActivate();
  void FormCloseQuery();
  void FormClose();
  void ApdComPortTriggerModemStatus();
  void RtsColBtnPanelClick();
  void DtrColBtnPanelClick();
  void ClearScreenToolButtonClick();
  void PropertiesToolButtonClick();
  void MarkNodeInUse(bool inUse);
  void LineWatchTimer();
  void ShowLamps();
  // "COMn failed to open!", with what else is known below it; then closes.
  void ShowOpenFailure(std::uint16_t comNumber, const QString& informativeText);
  void DetachTerminalView();

  // The loopback test (TermLoopback.cpp).
  void TestButtonClick();
  void RunLoopbackTest(const QPointer<TTermMDIChildForm>& self);
  void EndLoopbackTest();
  void ArmOutbuffFreeTrigger(std::uint16_t freeBytes);
  void ApdComPortTriggerOutbuffFree();
  void ApdComPortTriggerAvail(std::uint16_t count);

  TermMainWindow& mainWindow_;
  serial::TApdComPort apdComPort_;
  terminal::ComPortLink portLink_{apdComPort_};
  std::unique_ptr<Ui::TTermMDIChildForm> ui_;
  // The form widget (tool bar, lamps, AdTerminal); goes before the port.
  std::unique_ptr<QWidget> form_;
  QTimer lineWatch_;  // looks for a device gone away while the port is open

  std::uint16_t modemStatusTrigger_ = 0;
  std::uint16_t outbuffFreeTrigger_ = 0;
  int nodeIndex_ = -1;
  bool portOpened_ = false;
  bool disconnected_ = false;
  bool testActive_ = false;
  std::int32_t sentCount_ = 0;
  std::int32_t receivedCount_ = 0;
  std::int32_t testLineLength_ = 1;
  int busyDepth_ = 0;
  bool deleteWhenIdle_ = false;
};

}  // namespace term
