#include "term/TermMDIChild.h"

#include <QCloseEvent>
#include <QTimer>
#include <utility>

#include "gui/Guard.h"
#include "gui/Lamp.h"
#include "gui/PortText.h"
#include "gui/Util.h"
#include "platform/PortHolders.h"
#include "platform/Ticks.h"
#include "serial/ExceptionDisplay.h"
#include "serial/Exceptions.h"
#include "serial/TriggerMessages.h"
#include "term/TermProp.h"
#include "terminal/view/Terminal.h"
#include "ui_TermMDIChild.h"

// The tool-bar images live in this static library: pull them in explicitly.
static void InitTermImages() {
  static const bool initialised = [] {
    Q_INIT_RESOURCE(TermImages);
    return true;
  }();
  (void)initialised;
}

namespace term {
namespace {

constexpr int kInitialWidth = 525;
constexpr int kInitialHeight = 308;
constexpr int kTerminalFontPixels = 12;
constexpr int kPurgeWaitTicks = 4;
constexpr int kCloseWaitTicks = 9;
constexpr int kLineWatchMs = 250;
const QString kDisconnectedCaption = QStringLiteral(" (disconnected)");

// The close request goes on whatever one of its steps raises.
template <class Step>
void Swallow(Step&& step) noexcept {
  try {
    step();
  } catch (...) {
  }
}

}  // namespace

TTermMDIChildForm::BusyScope::BusyScope(TTermMDIChildForm& window) : window_(&window) {
  ++window.busyDepth_;
}

TTermMDIChildForm::BusyScope::~BusyScope() {
  if (!window_) return;
  if (--window_->busyDepth_ == 0 && window_->deleteWhenIdle_) window_->deleteLater();
}

TTermMDIChildForm::TTermMDIChildForm(TermMainWindow& mainWindow, QWidget* parent)
    : QMdiSubWindow(parent),
      mainWindow_(mainWindow),
      ui_(std::make_unique<Ui::TTermMDIChildForm>()),
      form_(std::make_unique<QWidget>()) {
  InitTermImages();
  setAttribute(Qt::WA_DeleteOnClose);
  setProperty(kHelpContextProperty, kHelpContext);
  ui_->setupUi(form_.get());
  setWidget(form_.get());
  resize(kInitialWidth, kInitialHeight);

  terminal::TAdTerminal& view = *ui_->AdTerminal;
  view.SetScrollback(false);
  view.SetUseLazyDisplay(false);
  QFont font(QStringLiteral("monospace"));
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(kTerminalFontPixels);
  view.SetFont(font);
  apdComPort_.SetBaud(kBaud);

  ConnectControls();
  FormCreate();
}

TTermMDIChildForm::~TTermMDIChildForm() {
  // Destroyed without a close (its parent went first): nothing of the port
  // may call back into this half-destroyed window while the port closes.
  apdComPort_.OnTriggerModemStatus = nullptr;
  apdComPort_.OnTriggerOutbuffFree = nullptr;
  apdComPort_.OnTriggerAvail = nullptr;
}

terminal::TAdTerminal& TTermMDIChildForm::AdTerminal() {
  return *ui_->AdTerminal;
}

void TTermMDIChildForm::ConnectControls() {
  connect(ui_->RtsColBtnPanel, &gui::TLampPanel::Click, this,
          gui::Guarded([this] { RtsColBtnPanelClick(); }));
  connect(ui_->DtrColBtnPanel, &gui::TLampPanel::Click, this,
          gui::Guarded([this] { DtrColBtnPanelClick(); }));
  connect(ui_->SendTestCharsToolButton, &QToolButton::clicked, this,
          gui::Guarded([this] { TestButtonClick(); }));
  connect(ui_->ClearScreenToolButton, &QToolButton::clicked, this,
          gui::Guarded([this] { ClearScreenToolButtonClick(); }));
  connect(ui_->PropertiesToolButton, &QToolButton::clicked, this,
          gui::Guarded([this] { PropertiesToolButtonClick(); }));
  connect(this, &QMdiSubWindow::windowStateChanged, this,
          gui::Guarded([this](Qt::WindowStates before, Qt::WindowStates now) {
            if (!(before & Qt::WindowActive) && (now & Qt::WindowActive)) FormActivate();
          }));
  apdComPort_.OnTriggerModemStatus = gui::Guarded([this] { ApdComPortTriggerModemStatus(); });
  connect(&lineWatch_, &QTimer::timeout, this, gui::Guarded([this] { LineWatchTimer(); }));
}

void TTermMDIChildForm::FormCreate() {
  portOpened_ = false;
  nodeIndex_ = mainWindow_.SelectedNodeIndex();
  testActive_ = false;
  testLineLength_ = 1;
  ui_->AdTerminal->SetColor(terminal::kColorWindow);
  ui_->AdTerminal->SetFontColor(terminal::kColorWindowText);
  const std::uint16_t comNumber = mainWindow_.CurrentComNumber();
  apdComPort_.SetComNumber(comNumber);
  try {
    apdComPort_.SetOpen(true);
    // Only an open port is given to the view, which would otherwise try to
    // open a port that just failed once more.
    ui_->AdTerminal->SetComPort(&portLink_);
    MarkNodeInUse(true);
    modemStatusTrigger_ = apdComPort_.CreateStatusTrigger(serial::kStatusModem);
    apdComPort_.ArmStatusTrigger(modemStatusTrigger_, kModemStatusMask, true);
    portOpened_ = true;
    lineWatch_.start(kLineWatchMs);
  } catch (const serial::EAlreadyOpen&) {
    // Refused: another program holds the port, and the box names it.
    ShowOpenFailure(comNumber,
                    gui::InUseByText(gui::HolderText(platform::FindComPortHolders(comNumber))));
  } catch (...) {
    ShowOpenFailure(comNumber, QString());
  }
}

void TTermMDIChildForm::ShowOpenFailure(std::uint16_t comNumber, const QString& informativeText) {
  gui::ShowMessage(
      QStringLiteral("COM") + QString::number(comNumber) + QStringLiteral(" failed to open!"),
      informativeText);
  QTimer::singleShot(0, this, &QWidget::close);
}

void TTermMDIChildForm::MarkNodeInUse(bool inUse) {
  if (nodeIndex_ < 0) return;
  mainWindow_.SetNodeInUseByUs(nodeIndex_, inUse);
  // On release the panel shows this node only while it is still selected.
  if (!inUse && mainWindow_.SelectedNodeIndex() != nodeIndex_) return;
  if (mainWindow_.NodeType(nodeIndex_) == gui::ntBoardPort) {
    mainWindow_.SetBoardPortTerminalButtonEnabled(!inUse);
    mainWindow_.SetBoardPortStatusText(
        QString::fromLatin1(inUse ? gui::kPortStatusInUseByUs : gui::kPortStatusNotInUse));
  } else {
    mainWindow_.SetOtherPortTerminalButtonEnabled(!inUse);
  }
}

void TTermMDIChildForm::FormActivate() {
  ShowLamps();
}

void TTermMDIChildForm::ShowLamps() {
  // A device that has gone has no lines to show.
  const bool available = !disconnected_;
  gui::SetLamp(*ui_->RtsColBtnPanel, available && apdComPort_.RTS(), available);
  gui::SetLamp(*ui_->DtrColBtnPanel, available && apdComPort_.DTR(), available);
  gui::SetLamp(*ui_->CtsColBtnPanel, available && apdComPort_.CtsOn(), available);
  gui::SetLamp(*ui_->DsrColBtnPanel, available && apdComPort_.DsrOn(), available);
  gui::SetLamp(*ui_->CdColBtnPanel, available && apdComPort_.DcdOn(), available);
  gui::SetLamp(*ui_->RiColBtnPanel, available && apdComPort_.RiOn(), available);
}

// Once gone, a device stays gone: the view stops sending (so typing raises
// nothing), and the window says so once, in its caption.
void TTermMDIChildForm::LineWatchTimer() {
  serial::TApdBaseDispatcher* dispatcher = apdComPort_.Dispatcher();
  if (disconnected_ || !dispatcher || !dispatcher->DeviceGone()) return;
  disconnected_ = true;
  lineWatch_.stop();
  DetachTerminalView();
  setWindowTitle(windowTitle() + kDisconnectedCaption);
  ShowLamps();
}

void TTermMDIChildForm::ApdComPortTriggerModemStatus() {
  if (disconnected_) return;
  if (apdComPort_.RiChanged()) gui::SetLamp(*ui_->RiColBtnPanel, apdComPort_.RiOn(), true);
  if (apdComPort_.DsrChanged()) gui::SetLamp(*ui_->DsrColBtnPanel, apdComPort_.DsrOn(), true);
  if (apdComPort_.DcdChanged()) gui::SetLamp(*ui_->CdColBtnPanel, apdComPort_.DcdOn(), true);
  if (apdComPort_.CtsChanged()) gui::SetLamp(*ui_->CtsColBtnPanel, apdComPort_.CtsOn(), true);
  // A status trigger fires once; it watches again only when armed again.
  if (modemStatusTrigger_ != 0)
    apdComPort_.ArmStatusTrigger(modemStatusTrigger_, kModemStatusMask, true);
}

// Under hardware flow control the lines belong to the handshake.
void TTermMDIChildForm::RtsColBtnPanelClick() {
  if (disconnected_ || apdComPort_.HWFlowOptions() != 0) return;
  apdComPort_.SetRTS(!apdComPort_.RTS());
  gui::SetLamp(*ui_->RtsColBtnPanel, apdComPort_.RTS(), true);
}

void TTermMDIChildForm::DtrColBtnPanelClick() {
  if (disconnected_ || apdComPort_.HWFlowOptions() != 0) return;
  apdComPort_.SetDTR(!apdComPort_.DTR());
  gui::SetLamp(*ui_->DtrColBtnPanel, apdComPort_.DTR(), true);
}

void TTermMDIChildForm::ClearScreenToolButtonClick() {
  ui_->AdTerminal->EraseEverything();
  ui_->AdTerminal->viewport()->update();
}

void TTermMDIChildForm::PropertiesToolButtonClick() {
  BusyScope busy(*this);
  TTermPropForm form(mainWindow_, *this);
  form.exec();
}

void TTermMDIChildForm::closeEvent(QCloseEvent* event) {
  FormCloseQuery();
  serial::RunUserAction([this] { FormClose(); });
  QMdiSubWindow::closeEvent(event);
  // Closed from inside one of this window's own message waits: the handler
  // still runs on this object, so the deletion waits for it.
  if (busyDepth_ > 0 && testAttribute(Qt::WA_DeleteOnClose)) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    deleteWhenIdle_ = true;
  }
}

// Never refuses. Each step is swallowed on its own, so that a port that
// fails still closes and the tree and panel are always released.
void TTermMDIChildForm::FormCloseQuery() {
  lineWatch_.stop();
  if (portOpened_ && apdComPort_.Open()) {
    if (const std::uint16_t trigger = std::exchange(outbuffFreeTrigger_, 0)) {
      Swallow([&] {
        apdComPort_.ArmStatusTrigger(trigger, 0, false);
        apdComPort_.DeleteTrigger(trigger);
      });
    }
    if (const std::uint16_t trigger = std::exchange(modemStatusTrigger_, 0)) {
      Swallow([&] {
        apdComPort_.ArmStatusTrigger(trigger, 0, false);
        apdComPort_.DeleteTrigger(trigger);
      });
    }
    if (testActive_) {
      testActive_ = false;
      Swallow([&] {
        apdComPort_.PurgeOutput();
        platform::DelayTicks(kPurgeWaitTicks);
        apdComPort_.PurgeInput();
      });
    }
    Swallow([&] { DetachTerminalView(); });
    Swallow([&] { apdComPort_.SetOpen(false); });
    // Other handlers run in the wait; what they raise stays in here too.
    Swallow([&] { platform::DelayTicks(kCloseWaitTicks); });
  }
  Swallow([&] {
    if (mainWindow_.MdiChildCount() == 1) mainWindow_.ShowTreeOnlyLayout();
  });
  Swallow([&] { MarkNodeInUse(false); });
}

void TTermMDIChildForm::FormClose() {
  apdComPort_.OnTriggerOutbuffFree = nullptr;
  apdComPort_.OnTriggerAvail = nullptr;
  testActive_ = false;  // a test still waiting ends with its window
  DetachTerminalView();
  apdComPort_.SetOpen(false);
}

void TTermMDIChildForm::DetachTerminalView() {
  ui_->AdTerminal->SetComPort(nullptr);
}

}  // namespace term
