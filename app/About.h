// TAboutBox: the program's name, version, description and legal notice from
// its own version block, and the management library's file version. Created
// hidden at start-up; shown modally from the Help menu. GUI thread.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class TAboutBox;
}

namespace app {

inline constexpr const char* kLegalNotice = "Copyright (C) 2026 Quor Systems. All rights reserved.";

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  // programFile: the running program's file; libraryName: the management
  // library's bare name, found as a library to load would be.
  explicit TAboutBox(std::string programFile, std::string libraryName = "QUORMGMT.DLL",
                     QWidget* parent = nullptr);
  ~TAboutBox() override;

  // The box created at start-up; nullptr before and after.
  static TAboutBox* Instance();

  // Fills the labels; runs each time the box is activated.
  void FormActivate();
  QString LabelText(const char* labelName) const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FitCopyright();

  std::unique_ptr<Ui::TAboutBox> ui_;
  std::string programFile_;
  std::string libraryName_;
};

}  // namespace app
