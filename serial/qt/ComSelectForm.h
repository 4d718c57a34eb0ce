// TComSelectForm: the "Select Port" dialog that asks for a COM port when a
// port component has none. Lists COM1 to COM50 where IsPortAvailable answers
// true. GUI thread.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <optional>

namespace Ui {
class TComSelectForm;
}

namespace serial {

class TComSelectForm : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHighestListedPort = 50;

  explicit TComSelectForm(QWidget* parent = nullptr);
  ~TComSelectForm() override;

  // The number of the selected entry ("COM12" gives 12); 0 with none.
  std::uint16_t SelectedComNumber() const;

 private:
  std::unique_ptr<Ui::TComSelectForm> ui_;
};

// Shows the dialog modally: the chosen number, or nullopt when cancelled.
std::optional<std::uint16_t> PromptForComPort();

// Makes the dialog the port prompt of every port component created from now on.
void InstallComSelectPrompt();

}  // namespace serial
