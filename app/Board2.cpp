#include "app/Board2.h"

#include "gui/Util.h"
#include "ui_Board2.h"

namespace app {

TBoard2Frame::TBoard2Frame(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TBoard2Frame>()) {
  ui_->setupUi(this);
  gui::LinkCaptions(*this);
  setMinimumSize(size());
}

TBoard2Frame::~TBoard2Frame() = default;

}  // namespace app
