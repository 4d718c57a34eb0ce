// TMainForm: the device tree. Built once from the shim's boards and the probe
// of COM1 to COM256; selection shows a node's panel; a double click or a
// panel's Terminal button opens a terminal window.
#include <QMdiArea>
#include <QTreeWidget>
#include <cstring>

#include "app/Board1.h"
#include "app/Board2.h"
#include "app/Main.h"
#include "app/Port1.h"
#include "app/Port2.h"
#include "app/PortFacts.h"
#include "app/QuorMgmt.h"
#include "app/TreeImages.h"
#include "gui/Util.h"
#include "serial/PortProbe.h"
#include "term/TermMDIChild.h"
#include "ui_Main.h"

namespace app {
namespace {

constexpr int kNodeIndexRole = Qt::UserRole;
constexpr int kStateIndexRole = Qt::UserRole + 1;
constexpr std::uint32_t kMaxBoardPorts = PortNamesRecord::kMaxEntries;

template <class Record>
bool Ask(std::int32_t board, std::uint32_t command, const void* input, std::uint32_t inputLength,
         Record& record) {
  return MgmtCommand(board, command, input, inputLength, record.Data(), Record::kSize) ==
         mgmt::MgmtSuccess;
}

// Leading and trailing blanks and control characters removed.
QString Trimmed(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return QString::fromLatin1(text.data() + first, qsizetype(last - first));
}

// "COM7" gives 7; 0 when the name's tail is not a decimal number.
std::int32_t ComNumberOfTail(const QString& tail) {
  bool ok = false;
  const int number = tail.toInt(&ok, 10);
  return ok ? number : 0;
}

}  // namespace

int TMainForm::AppendNode(QTreeWidgetItem* parent, const QString& text, const TNodeData& data,
                          int stateIndex) {
  const int index = int(nodes_.size());
  nodes_.push_back(data);
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(ui_->TreeView);
  item->setText(0, text);
  item->setData(0, kNodeIndexRole, index);
  items_.push_back(item);
  SetStateIndex(index, stateIndex);
  if (data.NodeType == ntBoardPort || data.NodeType == ntOtherPort) {
    portFacts_->AddPort(index, data.ComNumber);
    ShowPortFacts(index);
  }
  return index;
}

void TMainForm::ShowPortFacts(int nodeIndex) {
  const TNodeData& node = nodes_.at(nodeIndex);
  const QString toolTip = portFacts_->ToolTip(nodeIndex, node);
  QTreeWidgetItem* item = items_.at(nodeIndex);
  item->setToolTip(0, toolTip);
  item->setData(0, Qt::AccessibleDescriptionRole, toolTip);
  if (nodeIndex != SelectedNodeIndex()) return;
  const QString holders = portFacts_->HolderText(nodeIndex, node);
  if (node.NodeType == ntBoardPort)
    port2Frame_->SetHolderText(holders);
  else if (node.NodeType == ntOtherPort)
    port1Frame_->SetHolderText(holders);
}

int TMainForm::StateIndex(int nodeIndex) const {
  return items_.at(nodeIndex)->data(0, kStateIndexRole).toInt();
}

void TMainForm::SetStateIndex(int nodeIndex, int stateIndex) {
  QTreeWidgetItem* item = items_.at(nodeIndex);
  item->setData(0, kStateIndexRole, stateIndex);
  item->setIcon(0, TreeStateImage(stateIndex));
}

void TMainForm::BuildDeviceTree() {
  TreeRebuilding = true;
  HideDetailFrames();
  try {
    nodes_.clear();
    items_.clear();
    portFacts_->Clear();
    ui_->TreeView->clear();
    std::uint32_t count = 0;
    if (!MgmtLoaded || MgmtCommand(0, mgmt::MgmtGetBoardCount, nullptr, 0, &count, sizeof count) !=
                           mgmt::MgmtSuccess) {
      count = 0;
    }
    boardComList_.clear();
    for (std::uint32_t board = 1; board <= count; ++board) AddBoard(std::int32_t(board));
    AddOtherPorts();
    portFacts_->LookUpAllHolders();
    ui_->TreeView->expandAll();
  } catch (...) {
    // An error ends the build silently.
  }
  TreeRebuilding = false;
  // The view may have made the first node current while the tree was being
  // built, when selection changes are ignored: show its panel then.
  if (items_.empty()) return;
  if (ui_->TreeView->currentItem() == items_.front())
    TreeViewChange();
  else
    ui_->TreeView->setCurrentItem(items_.front());
}

void TMainForm::AddBoard(std::int32_t board) {
  QString boardList;
  TNodeData boardData;
  boardData.NodeType = ntBoard;
  boardData.BoardNumber = board;
  const int boardIndex = AppendNode(nullptr, QStringLiteral("BoardName"), boardData, kNoMark);
  QTreeWidgetItem* boardItem = items_[boardIndex];

  BoardSummaryRecord summary;
  const std::int32_t boardArgument = board;
  if (Ask(board, mgmt::MgmtGetBoardSummary, &boardArgument, sizeof boardArgument, summary) &&
      summary.PortCount() <= kMaxBoardPorts) {
    const std::uint32_t portCount = summary.PortCount();
    BoardNameRecord name;
    boardItem->setText(0, Ask(board, mgmt::MgmtGetBoardName, nullptr, 0, name)
                              ? Trimmed(name.Name())
                              : QStringLiteral("Quor %1").arg(portCount));
    nodes_[boardIndex].PortCount = std::int32_t(portCount);
    DriverInfoRecord driverInfo;
    if (Ask(board, mgmt::MgmtGetDriverInfo, nullptr, 0, driverInfo))
      nodes_[boardIndex].DriverVersion = driverInfo.DriverVersion();
    PortNamesRecord names;
    if (Ask(board, mgmt::MgmtGetPortNames, nullptr, 0, names) && names.Count() > 0 &&
        names.Count() <= portCount) {
      for (std::uint32_t i = 1; i <= names.Count(); ++i) {
        const QString portName = QString::fromLatin1(names.Name(i));
        const QString tail = portName.mid(3);
        boardList += "," + tail + ",";
        TNodeData port;
        port.NodeType = ntBoardPort;
        port.ComNumber = ComNumberOfTail(tail);
        port.BoardNumber = board;
        port.PortIndex = std::int32_t(i);
        port.IsBoardPort = true;
        AppendNode(boardItem, QStringLiteral("Port %1 (%2)").arg(i).arg(portName), port, kFreeMark);
      }
    }
  }
  boardComList_ += boardList;
}

void TMainForm::AddOtherPorts() {
  serial::ProbeThroughDispatcher = true;
  serial::CountBusyPorts = true;
  TNodeData group;
  group.NodeType = ntOtherPortsGroup;
  const int groupIndex = AppendNode(nullptr, QStringLiteral("Other ports"), group, kNoMark);
  QTreeWidgetItem* groupItem = items_[groupIndex];
  for (int n = 1; n <= 256; ++n) {
    if (boardComList_.contains(QStringLiteral(",%1,").arg(n))) continue;
    serial::CountBusyPorts = true;
    bool available = false;
    try {
      available = serial::IsPortAvailable(std::uint16_t(n));
    } catch (...) {
      gui::ShowMessage(QStringLiteral("Program error: Got exception on IsPortAvailable"));
      continue;
    }
    if (!available) continue;
    TNodeData port;
    port.NodeType = ntOtherPort;
    port.ComNumber = n;
    AppendNode(groupItem, QStringLiteral("COM%1").arg(n), port, kFreeMark);
  }
}

int TMainForm::SelectedNodeIndex() const {
  QTreeWidgetItem* item = ui_->TreeView->currentItem();
  return item ? item->data(0, kNodeIndexRole).toInt() : -1;
}

gui::TNodeType TMainForm::NodeType(int nodeIndex) const {
  return gui::TNodeType(nodes_.at(nodeIndex).NodeType);
}

void TMainForm::TreeViewChange() {
  if (TreeRebuilding) return;
  const int selected = SelectedNodeIndex();
  if (selected < 0) return;
  try {
    HideDetailFrames();
    TNodeData& node = nodes_.at(selected);
    const QString text = items_[selected]->text(0);
    switch (node.NodeType) {
      case ntBoard:
        board1Frame_->show();
        board1Frame_->FillOnSelection(node, text);
        RefreshPortStatus();
        break;
      case ntBoardPort:
        currentComNumber_ = node.ComNumber;
        port2Frame_->show();
        port2Frame_->FillOnSelection(node, text);
        port2Frame_->SetDeviceText(portFacts_->DeviceText(selected));
        ShowPortFacts(selected);
        portFacts_->LookUpHolders(selected);
        RefreshPortStatus();
        break;
      case ntOtherPortsGroup:
        board2Frame_->show();
        break;
      case ntOtherPort:
        currentComNumber_ = node.ComNumber;
        port1Frame_->show();
        port1Frame_->FillOnSelection(node, text);
        port1Frame_->SetDeviceText(portFacts_->DeviceText(selected));
        ShowPortFacts(selected);
        portFacts_->LookUpHolders(selected);
        break;
      default:
        gui::ShowMessage(QStringLiteral("Program error: unknown NodeType in TreeViewChange"));
    }
  } catch (...) {
  }
}

void TMainForm::TreeViewDblClick() {
  const int selected = SelectedNodeIndex();
  if (selected < 0) return;
  const TNodeData& node = nodes_[selected];
  if ((node.NodeType == ntBoardPort || node.NodeType == ntOtherPort) && !node.InUseByOther &&
      !node.InUseByUs) {
    OpenTerminal(items_[selected]->text(0));
  }
}

void TMainForm::OpenTerminal(const QString& caption) {
  if (MdiChildCount() == 0) ShowSplitLayout();
  try {
    auto* window = new term::TTermMDIChildForm(*this);
    ui_->MdiClient->addSubWindow(window);
    window->setWindowTitle(caption + " Terminal");
    window->show();
  } catch (...) {
  }
}

void TMainForm::SetNodeInUseByUs(int nodeIndex, bool inUse) {
  SetStateIndex(nodeIndex, inUse ? kInUseMark : kFreeMark);
  nodes_.at(nodeIndex).InUseByUs = inUse;
  ShowPortFacts(nodeIndex);
}

void TMainForm::SetBoardPortTerminalButtonEnabled(bool enabled) {
  port2Frame_->SetTerminalButtonEnabled(enabled);
}

void TMainForm::SetBoardPortStatusText(const QString& text) {
  port2Frame_->SetStatusText(text);
}

void TMainForm::SetOtherPortTerminalButtonEnabled(bool enabled) {
  port1Frame_->SetTerminalButtonEnabled(enabled);
}

void TMainForm::TearDownTree() {
  portFacts_->Clear();
  nodes_.clear();
  TreeRebuilding = true;
  items_.clear();
  ui_->TreeView->clear();
  TreeRebuilding = false;
}

}  // namespace app
