// TBoard2Frame: the panel of the "Other ports" group. GUI thread.
#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class TBoard2Frame;
}

namespace app {

class TBoard2Frame : public QWidget {
  Q_OBJECT

 public:
  explicit TBoard2Frame(QWidget* parent = nullptr);
  ~TBoard2Frame() override;

 private:
  std::unique_ptr<Ui::TBoard2Frame> ui_;
};

}  // namespace app
