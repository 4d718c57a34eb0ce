// What the terminal window tests share: one QApplication whose GUI thread
// pumps the platform's messages, a main window played by a fake with a real
// MDI area, and an answerer for the modal message boxes.
#pragma once

#include <gtest/gtest.h>

#include <QMdiArea>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "term/TermMDIChild.h"
#include "term/TermMainWindow.h"

namespace term::test {

// Runs Qt events, deferred deletions and platform messages until cond holds.
bool WaitUntil(const std::function<bool()>& cond,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Lets whatever is queued now run.
void Settle();

class FakeMainWindow : public TermMainWindow {
 public:
  FakeMainWindow();
  ~FakeMainWindow() override;

  // As the main window opens a terminal: select the port node, create the
  // window, add it to the MDI area, caption it and show it.
  TTermMDIChildForm* OpenTerminal(int nodeIndex, gui::TNodeType type, std::uint16_t comNumber);
  // Closes every MDI child and waits until they are gone.
  void CloseAll();

  int SelectedNodeIndex() const override { return selectedNode; }
  std::uint16_t CurrentComNumber() const override { return currentComNumber; }
  gui::TNodeType NodeType(int nodeIndex) const override { return nodeTypes.at(nodeIndex); }
  void SetNodeInUseByUs(int nodeIndex, bool inUse) override;
  void SetBoardPortTerminalButtonEnabled(bool enabled) override { boardButtonEnabled = enabled; }
  void SetBoardPortStatusText(const QString& text) override { boardStatusText = text; }
  void SetOtherPortTerminalButtonEnabled(bool enabled) override { otherButtonEnabled = enabled; }
  int MdiChildCount() const override;
  std::vector<TTermMDIChildForm*> TerminalWindows() const override;
  void ShowTreeOnlyLayout() override { ++treeOnlyLayouts; }
  void ShowHelpContext(int context) override { helpContexts.push_back(context); }

  QMdiArea mdiArea;
  int selectedNode = -1;
  std::uint16_t currentComNumber = 0;
  std::map<int, gui::TNodeType> nodeTypes;
  std::map<int, bool> nodeInUse;
  std::vector<std::pair<int, bool>> nodeMarks;  // every SetNodeInUseByUs call
  bool boardButtonEnabled = true;
  bool otherButtonEnabled = true;
  QString boardStatusText;
  int treeOnlyLayouts = 0;
  std::vector<int> helpContexts;
};

// Answers every modal message box that comes up while it lives: with the
// next queued answer, else with the box's default (escape) button. Keeps
// each box's title and text.
class ModalAnswers {
 public:
  ModalAnswers();
  void Queue(QMessageBox::StandardButton answer) { answers_.push_back(answer); }

  std::vector<QString> titles;
  std::vector<QString> texts;
  std::vector<QString> informativeTexts;

 private:
  void Poll();

  QTimer timer_;
  std::deque<QMessageBox::StandardButton> answers_;
};

}  // namespace term::test
