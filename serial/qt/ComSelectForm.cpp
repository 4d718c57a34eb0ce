#include "serial/qt/ComSelectForm.h"

#include <QGuiApplication>
#include <QScreen>

#include "serial/ComPort.h"
#include "serial/PortProbe.h"
#include "ui_ComSelectForm.h"

namespace serial {

TComSelectForm::TComSelectForm(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TComSelectForm>()) {
  ui_->setupUi(this);
  setFixedSize(sizeHint());
  connect(ui_->OkBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui_->AbortBtn, &QPushButton::clicked, this, &QDialog::reject);
  for (int number = 1; number <= kHighestListedPort; ++number) {
    if (IsPortAvailable(static_cast<std::uint16_t>(number)))
      ui_->PortsComboBox->addItem(QString::asprintf("COM%d", number));
  }
  if (ui_->PortsComboBox->count() > 0) ui_->PortsComboBox->setCurrentIndex(0);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - rect().center());
}

TComSelectForm::~TComSelectForm() = default;

std::uint16_t TComSelectForm::SelectedComNumber() const {
  const QString text = ui_->PortsComboBox->currentText();
  return static_cast<std::uint16_t>(text.mid(3).toUInt());
}

std::optional<std::uint16_t> PromptForComPort() {
  TComSelectForm form;
  if (form.exec() != QDialog::Accepted) return std::nullopt;
  return form.SelectedComNumber();
}

void InstallComSelectPrompt() {
  TApdCustomComPort::SetDefaultPortPrompt(&PromptForComPort);
}

}  // namespace serial
