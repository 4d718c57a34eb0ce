#include "app/Port1.h"

#include "gui/Util.h"
#include "ui_Port1.h"

namespace app {

TPort1Frame::TPort1Frame(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TPort1Frame>()) {
  ui_->setupUi(this);
  gui::LinkCaptions(*this);
  gui::FitToCaption(*ui_->TerminalButton);
  setBackgroundRole(QPalette::Base);
  setMinimumSize(size());
  connect(ui_->TerminalButton, &QPushButton::clicked, this, &TPort1Frame::TerminalButtonClick);
}

TPort1Frame::~TPort1Frame() = default;

void TPort1Frame::FillOnSelection(const TNodeData& node, const QString& nodeText) {
  SetTerminalButtonEnabled(!node.InUseByOther && !node.InUseByUs);
  ui_->ComPortLabel->setText(" " + nodeText);
}

void TPort1Frame::SetTerminalButtonEnabled(bool enabled) {
  ui_->TerminalButton->setEnabled(enabled);
}

bool TPort1Frame::TerminalButtonEnabled() const {
  return ui_->TerminalButton->isEnabled();
}

void TPort1Frame::SetHolderText(const QString& text) {
  ui_->HolderLabel->setText(text);
}

QString TPort1Frame::HolderText() const {
  return ui_->HolderLabel->text();
}

void TPort1Frame::SetDeviceText(const QString& text) {
  ui_->DeviceLabel->setText(text);
}

QString TPort1Frame::DeviceText() const {
  return ui_->DeviceLabel->text();
}

}  // namespace app
