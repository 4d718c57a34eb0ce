#include "app/Port2.h"

#include "gui/Lamp.h"
#include "gui/Util.h"
#include "ui_Port2.h"

namespace app {

QString BaudRateText(const PortStatusRecord& status) {
  if (status.Baud() != status.BaudCopy()) return QStringLiteral("Error");
  return status.Baud() == 0 ? QString() : QString::number(status.Baud());
}

QString ParityText(std::uint32_t parity) {
  static const char* const kWords[] = {"", "None", "Odd", "Even", "Space", "Mark"};
  return parity < std::size(kWords) ? QString::fromLatin1(kWords[parity])
                                    : QStringLiteral("Unknown");
}

QString DataBitsText(std::uint32_t code) {
  return code == 0 ? QString() : QString::number(std::uint32_t(9 - code));
}

QString StopBitsText(std::uint32_t stopBits) {
  if (stopBits == 3) return QStringLiteral("1.5");
  return stopBits == 0 ? QString() : QString::number(stopBits);
}

QString PortStatusWords(const TNodeData& node) {
  if (node.InUseByOther) return gui::kPortStatusInUseByOther;
  if (node.InUseByUs) return gui::kPortStatusInUseByUs;
  return gui::kPortStatusNotInUse;
}

TPort2Frame::TPort2Frame(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TPort2Frame>()) {
  ui_->setupUi(this);
  gui::LinkCaptions(*this);
  // The window colour, so that unlit lamps stand out on their button face.
  for (QWidget* panel : {ui_->StatusPanel, ui_->ControlLinePanel, ui_->ParamsPanel})
    panel->setBackgroundRole(QPalette::Base);
  gui::FitToCaption(*ui_->TerminalButton);
  setMinimumSize(size());
  connect(ui_->TerminalButton, &QPushButton::clicked, this, &TPort2Frame::TerminalButtonClick);
}

TPort2Frame::~TPort2Frame() = default;

void TPort2Frame::FillOnSelection(const TNodeData& node, const QString& nodeText) {
  SetTerminalButtonEnabled(!node.InUseByOther && !node.InUseByUs && node.ComNumber > 0);
  QPalette palette = this->palette();
  palette.setColor(QPalette::WindowText, palette.color(QPalette::Text));
  setPalette(palette);
  ui_->ComName->setText(nodeText + " Status");
  ui_->ComStatusInformation->setText(PortStatusWords(node));
}

void TPort2Frame::FillOnRefresh(const TNodeData& node) {
  QLabel* const values[] = {ui_->BaudRateLabel,  ui_->ParityLabel,      ui_->DataBitsLabel,
                            ui_->StopBitsLabel,  ui_->TXByteCountLabel, ui_->RXByteCountLabel,
                            ui_->ErrorCountLabel};
  const std::pair<gui::TLampPanel*, LineState> lamps[] = {
      {ui_->RtsColBtnPanel, node.PortStatus.Rts()}, {ui_->CtsColBtnPanel, node.PortStatus.Cts()},
      {ui_->DtrColBtnPanel, node.PortStatus.Dtr()}, {ui_->DsrColBtnPanel, node.PortStatus.Dsr()},
      {ui_->RiColBtnPanel, node.PortStatus.Ri()},   {ui_->CdColBtnPanel, node.PortStatus.Cd()}};
  if (!node.InUseByOther && !node.InUseByUs) {
    for (auto& [lamp, line] : lamps) gui::SetLamp(*lamp, false, false);
    for (QLabel* value : values) value->setText(QStringLiteral("N/A"));
    return;
  }
  for (auto& [lamp, line] : lamps) gui::SetLamp(*lamp, line.On(), line.Available());
  const PortStatusRecord& status = node.PortStatus;
  ui_->BaudRateLabel->setText(BaudRateText(status));
  ui_->ParityLabel->setText(ParityText(status.Parity()));
  ui_->DataBitsLabel->setText(DataBitsText(status.DataBitsCode()));
  ui_->StopBitsLabel->setText(StopBitsText(status.StopBits()));
  ui_->TXByteCountLabel->setText(QString::number(node.PortCounters.BytesTransmitted()));
  ui_->RXByteCountLabel->setText(QString::number(node.PortCounters.BytesReceived()));
  ui_->ErrorCountLabel->setText(QString::number(node.PortCounters.ErrorSum()));
}

void TPort2Frame::SetTerminalButtonEnabled(bool enabled) {
  ui_->TerminalButton->setEnabled(enabled);
}

bool TPort2Frame::TerminalButtonEnabled() const {
  return ui_->TerminalButton->isEnabled();
}

void TPort2Frame::SetHolderText(const QString& text) {
  ui_->HolderLabel->setText(text);
}

QString TPort2Frame::HolderText() const {
  return ui_->HolderLabel->text();
}

void TPort2Frame::SetDeviceText(const QString& text) {
  ui_->DeviceLabel->setText(text);
}

QString TPort2Frame::DeviceText() const {
  return ui_->DeviceLabel->text();
}

void TPort2Frame::SetStatusText(const QString& text) {
  ui_->ComStatusInformation->setText(text);
}

QString TPort2Frame::StatusText() const {
  return ui_->ComStatusInformation->text();
}

QString TPort2Frame::ValueText(const char* labelName) const {
  auto* label = findChild<QLabel*>(labelName);
  return label ? label->text() : QString();
}

gui::TLampPanel& TPort2Frame::Lamp(const char* lampName) const {
  return *findChild<gui::TLampPanel*>(lampName);
}

}  // namespace app
