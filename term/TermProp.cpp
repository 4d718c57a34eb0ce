#include "term/TermProp.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <cmath>
#include <limits>

#include "gui/Guard.h"
#include "gui/Util.h"
#include "serial/ExceptionDisplay.h"
#include "ui_TermProp.h"

namespace term {
namespace {

constexpr const char* kBaudRefused = "Unable to set requested baud rate.";
constexpr const char* kParityRefused = "Unable to set requested parity setting.";
constexpr const char* kDataBitsRefused = "Unable to set requested Data Bit.";
constexpr const char* kStopBitsRefused = "Unable to set requested Stop Bit.";
constexpr const char* kFlowControlRefused = "Unable to set requested Flow Control";

constexpr int kFlowNone = 0;
constexpr int kFlowRtsCts = 1;
constexpr int kFlowDtrDsr = 2;
constexpr int kFlowXonXoff = 3;
constexpr serial::THWFlowOptions kRtsCts = serial::hwfUseRTS | serial::hwfRequireCTS;
constexpr serial::THWFlowOptions kDtrDsr = serial::hwfUseDTR | serial::hwfRequireDSR;

// Halves to even, in the default rounding mode.
std::uint16_t Level(std::uint16_t inSize, double fraction) {
  return static_cast<std::uint16_t>(std::nearbyint(inSize * fraction));
}

// The item whose text the box shows; -1 when the typed text is none of them.
int ItemIndex(const QComboBox& box) {
  return box.findText(box.currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

// The box's text as an integer in [low, high].
std::optional<int> BoxValue(const QComboBox& box, int low, int high) {
  bool ok = false;
  const int value = box.currentText().toInt(&ok);
  if (!ok || value < low || value > high) return std::nullopt;
  return value;
}

// True when the assignment went through; a refusal raises.
template <class Assign>
bool PortTook(Assign&& assign) {
  try {
    assign();
    return true;
  } catch (...) {
    return false;
  }
}

// Puts the previous value back; the refusal was reported already.
template <class Assign>
void Restore(Assign&& assign) noexcept {
  try {
    assign();
  } catch (...) {
  }
}

void ShowRefusal(const char* text) {
  gui::ShowMessage(QString::fromLatin1(text));
}

}  // namespace

std::optional<FlowControlSetting> FlowControlFor(int index, std::uint16_t inSize) {
  FlowControlSetting setting;
  switch (index) {
    case kFlowNone:
      return setting;
    case kFlowRtsCts:
    case kFlowDtrDsr:
      setting.hwFlowOptions = index == kFlowRtsCts ? kRtsCts : kDtrDsr;
      setting.setsLevels = true;
      setting.bufferFull = Level(inSize, 0.9);
      setting.bufferResume = Level(inSize, 0.1);
      return setting;
    case kFlowXonXoff:
      setting.swFlowOptions = serial::swfBoth;
      setting.setsLevels = true;
      setting.bufferFull = Level(inSize, 0.75);
      setting.bufferResume = Level(inSize, 0.25);
      return setting;
    default:
      return std::nullopt;
  }
}

int FlowControlIndex(serial::THWFlowOptions hwFlowOptions, serial::TSWFlowOptions swFlowOptions) {
  if (hwFlowOptions == kRtsCts) return kFlowRtsCts;
  if (hwFlowOptions == kDtrDsr) return kFlowDtrDsr;
  if (swFlowOptions == serial::swfBoth) return kFlowXonXoff;
  return kFlowNone;
}

TTermPropForm::TTermPropForm(TermMainWindow& mainWindow, TTermMDIChildForm& owner, QWidget* parent)
    : QDialog(parent),
      mainWindow_(mainWindow),
      owner_(&owner),
      ui_(std::make_unique<Ui::TTermPropForm>()) {
  ui_->setupUi(this);
  setFixedSize(size());
  setWindowTitle(owner.windowTitle() + QStringLiteral(" Properties"));
  FillFromPort(owner.ApdComPort());
  ui_->ApplyButton->setEnabled(false);
  ConnectControls();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - rect().center());
}

TTermPropForm::~TTermPropForm() = default;

void TTermPropForm::FillFromPort(serial::TApdCustomComPort& port) {
  ui_->BaudRateComboBox->setCurrentText(QString::number(port.Baud()));
  ui_->ParityComboBox->setCurrentIndex(static_cast<int>(port.Parity()));
  ui_->DataBitsComboBox->setCurrentText(QString::number(port.DataBits()));
  ui_->StopBitsComboBox->setCurrentText(QString::number(port.StopBits()));
  ui_->FlowControlComboBox->setCurrentIndex(
      FlowControlIndex(port.HWFlowOptions(), port.SWFlowOptions()));
}

// Only the user's changes count: filling and restoring the boxes leave
// "&Apply" as it is.
void TTermPropForm::ConnectControls() {
  for (QComboBox* box : {ui_->BaudRateComboBox, ui_->ParityComboBox, ui_->DataBitsComboBox,
                         ui_->StopBitsComboBox, ui_->FlowControlComboBox}) {
    connect(box, &QComboBox::activated, this, gui::Guarded([this] { GenericChange(); }));
    connect(box->lineEdit(), &QLineEdit::textEdited, this,
            gui::Guarded([this] { GenericChange(); }));
  }
  connect(ui_->ApplyToAllOpenPortsCheckBox, &QCheckBox::clicked, this,
          gui::Guarded([this] { ApplyToAllOpenPortsCheckBoxClick(); }));
  // A failed apply still closes the dialog, once its error is shown.
  connect(ui_->OkButton, &QPushButton::clicked, this, gui::Guarded([this] { ApplyButtonClick(); }));
  connect(ui_->OkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui_->CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(ui_->ApplyButton, &QPushButton::clicked, this,
          gui::Guarded([this] { ApplyButtonClick(); }));
  connect(ui_->HelpButton, &QPushButton::clicked, this,
          gui::Guarded([this] { HelpButtonClick(); }));
}

void TTermPropForm::GenericChange() {
  ui_->ApplyButton->setEnabled(true);
}

void TTermPropForm::ApplyToAllOpenPortsCheckBoxClick() {
  ui_->ApplyButton->setEnabled(true);
}

void TTermPropForm::HelpButtonClick() {
  mainWindow_.ShowHelpContext(kHelpContext);
}

void TTermPropForm::ApplyButtonClick() {
  if (ui_->ApplyToAllOpenPortsCheckBox->isChecked()) {
    // A message box runs while the settings go out: take the list first and
    // skip a window that is gone by its turn.
    std::vector<QPointer<TTermMDIChildForm>> windows;
    for (TTermMDIChildForm* window : mainWindow_.TerminalWindows()) windows.emplace_back(window);
    for (const QPointer<TTermMDIChildForm>& window : windows) {
      if (window) ApplySettings(window->ApdComPort());
    }
  } else if (owner_) {
    ApplySettings(owner_->ApdComPort());
  }
  ui_->ApplyButton->setEnabled(false);
}

void TTermPropForm::ApplySettings(serial::TApdCustomComPort& port) {
  ApplyBaud(port);
  ApplyParity(port);
  ApplyDataBits(port);
  ApplyStopBits(port);
  serial::RunUserAction([&] { ApplyFlowControl(port); });
}

void TTermPropForm::ApplyBaud(serial::TApdCustomComPort& port) {
  const std::int32_t previous = port.Baud();
  const std::optional<int> value =
      BoxValue(*ui_->BaudRateComboBox, std::numeric_limits<std::int32_t>::min(),
               std::numeric_limits<std::int32_t>::max());
  if (value && PortTook([&] { port.SetBaud(*value); })) return;
  ShowRefusal(kBaudRefused);
  ui_->BaudRateComboBox->setCurrentText(QString::number(previous));
  Restore([&] { port.SetBaud(previous); });
}

void TTermPropForm::ApplyParity(serial::TApdCustomComPort& port) {
  const serial::TParity previous = port.Parity();
  const int index = ItemIndex(*ui_->ParityComboBox);
  // No item (typed text) is refused here rather than sent as a bad value.
  if (index >= serial::pNone && index <= serial::pSpace &&
      PortTook([&] { port.SetParity(static_cast<serial::TParity>(index)); }))
    return;
  ShowRefusal(kParityRefused);
  ui_->ParityComboBox->setCurrentIndex(static_cast<int>(previous));
  Restore([&] { port.SetParity(previous); });
}

void TTermPropForm::ApplyDataBits(serial::TApdCustomComPort& port) {
  const std::uint16_t previous = port.DataBits();
  const std::optional<int> value =
      BoxValue(*ui_->DataBitsComboBox, 0, std::numeric_limits<std::uint16_t>::max());
  if (value && PortTook([&] { port.SetDataBits(static_cast<std::uint16_t>(*value)); })) return;
  ShowRefusal(kDataBitsRefused);
  ui_->DataBitsComboBox->setCurrentText(QString::number(previous));
  Restore([&] { port.SetDataBits(previous); });
}

void TTermPropForm::ApplyStopBits(serial::TApdCustomComPort& port) {
  const std::uint16_t previous = port.StopBits();
  const std::optional<int> value =
      BoxValue(*ui_->StopBitsComboBox, 0, std::numeric_limits<std::uint16_t>::max());
  if (value && PortTook([&] { port.SetStopBits(static_cast<std::uint16_t>(*value)); })) return;
  ShowRefusal(kStopBitsRefused);
  ui_->StopBitsComboBox->setCurrentText(QString::number(previous));
  Restore([&] { port.SetStopBits(previous); });
}

// Flow control is switched off and set again at every apply.
void TTermPropForm::ApplyFlowControl(serial::TApdCustomComPort& port) {
  port.SetHWFlowOptions(0);
  port.SetSWFlowOptions(serial::swfNone);
  const std::optional<FlowControlSetting> setting =
      FlowControlFor(ItemIndex(*ui_->FlowControlComboBox), port.InSize());
  if (!setting) {
    ShowRefusal(kFlowControlRefused);
    return;
  }
  if (setting->setsLevels) {
    port.SetBufferFull(setting->bufferFull);
    port.SetBufferResume(setting->bufferResume);
  }
  if (setting->hwFlowOptions != 0) port.SetHWFlowOptions(setting->hwFlowOptions);
  if (setting->swFlowOptions != serial::swfNone) port.SetSWFlowOptions(setting->swFlowOptions);
}

}  // namespace term
