#include "app/About.h"

#include <QLabel>
#include <optional>
#include <vector>

#include "app/TreeImages.h"
#include "platform/VersionInfo.h"
#include "ui_About.h"

namespace app {
namespace {

TAboutBox* instance = nullptr;

constexpr const char* kFileVersionKey = "\\\\StringFileInfo\\\\040904E4\\\\FileVersion";
constexpr const char* kLegalCopyrightKey = "\\\\StringFileInfo\\\\040904E4\\\\LegalCopyright";
constexpr const char* kFileDescriptionKey = "\\\\StringFileInfo\\\\040904E4\\\\FileDescription";

// A file's version block; nullopt when it has none or it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadVersionBlock(const std::string& file) {
  const std::uint32_t size = platform::GetFileVersionInfoSize(file);
  if (size == 0) return std::nullopt;
  std::vector<std::uint8_t> block(size);
  if (!platform::GetFileVersionInfo(file, size, block.data())) return std::nullopt;
  return block;
}

// The value, or the fallback when it is missing or empty.
QString ValueOr(const std::vector<std::uint8_t>& block, const char* key, const QString& fallback) {
  auto value = platform::VerQueryValue(block.data(), key);
  return value && !value->empty() ? QString::fromLocal8Bit(*value) : fallback;
}

}  // namespace

TAboutBox::TAboutBox(std::string programFile, std::string libraryName, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      ui_(std::make_unique<Ui::TAboutBox>()),
      programFile_(std::move(programFile)),
      libraryName_(std::move(libraryName)) {
  LoadImages();
  ui_->setupUi(this);
  setFixedSize(size());
  // The design's Arial labels are 13 pixels high.
  for (QLabel* label : ui_->Panel1->findChildren<QLabel*>()) {
    if (!label->font().families().contains(QStringLiteral("Arial"))) continue;
    QFont font = label->font();
    font.setPixelSize(13);
    label->setFont(font);
  }
  ui_->Panel1->setBackgroundRole(QPalette::Base);
  QPalette white = ui_->Panel1->palette();
  white.setColor(QPalette::Window, Qt::white);
  white.setColor(QPalette::WindowText, Qt::black);
  ui_->Panel1->setPalette(white);
  connect(ui_->OKButton, &QPushButton::clicked, this, &QDialog::accept);
  instance = this;
}

TAboutBox::~TAboutBox() {
  if (instance == this) instance = nullptr;
}

TAboutBox* TAboutBox::Instance() {
  return instance;
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
  ui_->OKButton->setFocus();
}

void TAboutBox::FormActivate() {
  if (auto block = ReadVersionBlock(programFile_)) {
    ui_->Version->setText("Version " +
                          ValueOr(*block, kFileVersionKey, QStringLiteral("<unknown>")));
    ui_->Copyright->setText(ValueOr(*block, kLegalCopyrightKey, QString::fromUtf8(kLegalNotice)));
    ui_->Comments->setText(
        ValueOr(*block, kFileDescriptionKey, QStringLiteral("Quor Tallyport for Windows")));
  }
  FitCopyright();
  if (auto block = ReadVersionBlock(libraryName_))
    ui_->ShimDllLabel->setText(ValueOr(*block, kFileVersionKey, QStringLiteral("<unknown>")));
}

// A legal notice longer than the designed line wraps; the panel and the box
// grow by the lines it takes, so that none of it is cut off.
void TAboutBox::FitCopyright() {
  QLabel& copyright = *ui_->Copyright;
  const int lineHeight = 17;
  const int needed = std::max(lineHeight, copyright.heightForWidth(copyright.width()));
  const int grow = needed - copyright.height();
  if (grow == 0) return;
  copyright.resize(copyright.width(), needed);
  ui_->Panel1->resize(ui_->Panel1->width(), ui_->Panel1->height() + grow);
  ui_->OKButton->move(ui_->OKButton->x(), ui_->OKButton->y() + grow);
  setFixedSize(width(), height() + grow);
}

QString TAboutBox::LabelText(const char* labelName) const {
  auto* label = findChild<QLabel*>(labelName);
  return label ? label->text() : QString();
}

}  // namespace app
