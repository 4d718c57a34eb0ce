// TMainForm: the main window. The device tree with its node records, the four
// detail panels, the 500 ms status polling, the two layouts, the menus and
// the MDI area that holds the terminal windows. GUI thread.
//
// The window's parts live in files of their own: Main.cpp (creation, menus,
// layouts, closing), DeviceTree.cpp (the tree, selection, terminals),
// StatusPolling.cpp (the timer and WM_PORTUSE).
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/NodeData.h"
#include "platform/Messages.h"
#include "term/TermMainWindow.h"

class QTreeWidgetItem;
class QMdiArea;
class QMdiSubWindow;

namespace Ui {
class TMainForm;
}

namespace app {

class TBoard1Frame;
class TBoard2Frame;
class TPort1Frame;
class TPort2Frame;
class TPortFacts;
class THelpViewer;

// Posted by the status tick to the main window: wParam the node's absolute
// index, lParam a use code.
constexpr platform::UINT WM_PORTUSE = platform::WM_USER + 1;
enum PortUse : platform::LPARAM { kNotInUse = 0, kInUseByOther = 1, kInUseByUs = 2 };

// State indexes of the tree's marks.
constexpr int kNoMark = -1;
constexpr int kFreeMark = 0;
constexpr int kInUseMark = 1;

// True while the tree is built or cleared: selection changes and ticks do
// nothing then.
extern bool TreeRebuilding;

// The size the main window is designed at, and the smallest its layout is
// designed for.
constexpr QSize kMainWindowDesignSize(550, 424);
// The size the window system opens the main window at on a desktop with this
// work area: three quarters of it in each direction, at least the design
// size, at most the work area.
QSize DefaultMainWindowSize(const QSize& workArea);

class TMainForm : public QMainWindow, public term::TermMainWindow {
  Q_OBJECT

 public:
  // Runs FormCreate: builds the tree and shows the first node's panel.
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  void ShowSplitLayout();
  void ShowTreeOnlyLayout() override;
  void OpenTerminal(const QString& caption);
  void BuildDeviceTree();
  void RefreshPortStatus();

  // --- term::TermMainWindow --------------------------------------------------
  int SelectedNodeIndex() const override;
  std::uint16_t CurrentComNumber() const override { return std::uint16_t(currentComNumber_); }
  gui::TNodeType NodeType(int nodeIndex) const override;
  void SetNodeInUseByUs(int nodeIndex, bool inUse) override;
  void SetBoardPortTerminalButtonEnabled(bool enabled) override;
  void SetBoardPortStatusText(const QString& text) override;
  void SetOtherPortTerminalButtonEnabled(bool enabled) override;
  int MdiChildCount() const override;
  std::vector<term::TTermMDIChildForm*> TerminalWindows() const override;
  void ShowHelpContext(int context) override;

  // --- State the tests and the panels read -----------------------------------
  int NodeCount() const { return int(nodes_.size()); }
  const TNodeData& NodeData(int nodeIndex) const { return nodes_.at(nodeIndex); }
  QTreeWidgetItem* NodeItem(int nodeIndex) const { return items_.at(nodeIndex); }
  int StateIndex(int nodeIndex) const;
  const QString& BoardComList() const { return boardComList_; }
  platform::HWND Handle() const { return window_; }
  QMdiArea& MdiArea() const;
  TBoard1Frame& Board1Frame() const { return *board1Frame_; }
  TBoard2Frame& Board2Frame() const { return *board2Frame_; }
  TPort1Frame& Port1Frame() const { return *port1Frame_; }
  TPort2Frame& Port2Frame() const { return *port2Frame_; }
  TPortFacts& PortFacts() const { return *portFacts_; }
  QTimer& TreeViewStatusTimer() { return statusTimer_; }
  int TopPanelHeight() const;
  bool SplitLayoutShown() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Main.cpp
  void SetupMenus();
  void SetupMdiKeys();
  void FitTreeToNodes();
  void FormCloseQuery();
  void FormClose();
  void HideDetailFrames();
  void FileExit1Execute();
  void WindowCascadeItemClick();
  void WindowTileItemClick();
  void WindowTileItem2Click();
  void WindowArrangeItemClick();
  void TallyportHelp1Click();
  void HelpAbout1Execute();
  void RebuildWindowMenu();
  // DeviceTree.cpp
  void TreeViewChange();
  void TreeViewDblClick();
  int AppendNode(QTreeWidgetItem* parent, const QString& text, const TNodeData& data,
                 int stateIndex);
  void AddBoard(std::int32_t board);
  void AddOtherPorts();
  void SetStateIndex(int nodeIndex, int stateIndex);
  void TearDownTree();
  // A port's tool tip and its panel's holder line, from PortFacts.
  void ShowPortFacts(int nodeIndex);
  // StatusPolling.cpp
  void TreeViewStatusTimerTimer();
  void RefreshBoardPort(int nodeIndex);
  void RefreshSelectedPanel();
  platform::LRESULT HandleMessage(platform::UINT msg, platform::WPARAM wParam,
                                  platform::LPARAM lParam);
  void PortUseMessage(int nodeIndex, platform::LPARAM use);

  std::unique_ptr<Ui::TMainForm> ui_;
  std::vector<TNodeData> nodes_;
  std::vector<QTreeWidgetItem*> items_;
  QString boardComList_;
  std::int32_t currentComNumber_ = 0;
  // The panels belong to RightPanel's contents; these only point at them.
  TBoard1Frame* board1Frame_ = nullptr;
  TPort1Frame* port1Frame_ = nullptr;
  TPort2Frame* port2Frame_ = nullptr;
  TBoard2Frame* board2Frame_ = nullptr;
  QTimer statusTimer_;
  platform::HWND window_ = 0;
  std::unique_ptr<TPortFacts> portFacts_;
  bool treeFitted_ = false;
};

}  // namespace app
