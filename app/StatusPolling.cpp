// TMainForm: the 500 ms status polling of the board ports and the WM_PORTUSE
// message through which a tick's decisions reach the tree after it returns.
#include <QTreeWidget>
#include <optional>

#include "app/Board1.h"
#include "app/Main.h"
#include "app/Port1.h"
#include "app/Port2.h"
#include "app/PortFacts.h"
#include "app/QuorMgmt.h"
#include "gui/Util.h"

namespace app {
namespace {

// Which use change a fresh status reading calls for; nothing when none.
std::optional<PortUse> UseChange(bool closed, const TNodeData& node) {
  if (closed) return node.InUseByOther ? std::optional(kNotInUse) : std::nullopt;
  if (node.InUseByOther) return std::nullopt;
  return node.InUseByUs ? kInUseByUs : kInUseByOther;
}

}  // namespace

void TMainForm::TreeViewStatusTimerTimer() {
  RefreshPortStatus();
}

void TMainForm::RefreshPortStatus() {
  if (TreeRebuilding || !MgmtLoaded) return;
  try {
    for (int i = 0; i < NodeCount(); ++i) {
      if (nodes_[i].NodeType == ntBoardPort) RefreshBoardPort(i);
    }
    RefreshSelectedPanel();
  } catch (...) {
    // The next tick starts afresh.
  }
}

void TMainForm::RefreshBoardPort(int nodeIndex) {
  TNodeData& node = nodes_[nodeIndex];
  const std::int32_t port = node.PortIndex - 1;
  PortStatusRecord status;
  if (MgmtCommand(node.BoardNumber, mgmt::MgmtGetPortStatus, &port, sizeof port, status.Data(),
                  status.kSize) != mgmt::MgmtSuccess) {
    return;
  }
  if (auto use = UseChange(status.Closed(), node))
    platform::PostMessage(window_, WM_PORTUSE, platform::WPARAM(nodeIndex), *use);
  node.PortStatus = status;
  PortCountersRecord counters;
  if (MgmtCommand(node.BoardNumber, mgmt::MgmtGetPortCounters, &port, sizeof port, counters.Data(),
                  counters.kSize) == mgmt::MgmtSuccess) {
    node.TxActive = node.PortCounters.BytesTransmitted() != counters.BytesTransmitted();
    node.RxActive = node.PortCounters.BytesReceived() != counters.BytesReceived();
    node.PortCounters = counters;
  }
}

void TMainForm::RefreshSelectedPanel() {
  const int selected = SelectedNodeIndex();
  if (selected < 0) return;
  const TNodeData& node = nodes_.at(selected);
  switch (node.NodeType) {
    case ntBoard: {
      // The board's port nodes follow it directly.
      std::vector<TBoard1Frame::PortRow> rows;
      for (int i = selected + 1; i < NodeCount() && nodes_[i].NodeType == ntBoardPort &&
                                 nodes_[i].BoardNumber == node.BoardNumber;
           ++i) {
        rows.push_back({items_[i]->text(0), &nodes_[i], items_[i]->toolTip(0)});
      }
      board1Frame_->FillOnRefresh(node.PortCount, rows);
      break;
    }
    case ntBoardPort:
      port2Frame_->FillOnRefresh(node);
      break;
    case ntOtherPortsGroup:
    case ntOtherPort:
      break;
    default:
      gui::ShowMessage(QStringLiteral("Program error: unknown NodeType in Timer"));
  }
}

platform::LRESULT TMainForm::HandleMessage(platform::UINT msg, platform::WPARAM wParam,
                                           platform::LPARAM lParam) {
  if (msg == WM_PORTUSE) PortUseMessage(int(wParam), lParam);
  return 0;
}

void TMainForm::PortUseMessage(int nodeIndex, platform::LPARAM use) {
  try {
    TNodeData& node = nodes_.at(std::size_t(nodeIndex));
    const bool selected = nodeIndex == SelectedNodeIndex();
    if (use == kNotInUse) {
      SetStateIndex(nodeIndex, kFreeMark);
      node.InUseByOther = false;
      // A port whose name carries no COM number cannot be opened: its button
      // stays disabled, as on selection.
      if (selected) {
        if (node.IsBoardPort)
          port2Frame_->SetTerminalButtonEnabled(node.ComNumber > 0);
        else
          port1Frame_->SetTerminalButtonEnabled(true);
      }
    } else {
      SetStateIndex(nodeIndex, kInUseMark);
      if (use == kInUseByUs)
        node.InUseByUs = true;
      else
        node.InUseByOther = true;
      if (selected) {
        if (node.IsBoardPort)
          port2Frame_->SetTerminalButtonEnabled(false);
        else
          port1Frame_->SetTerminalButtonEnabled(false);
      }
    }
    // The holders are named once the use changes, not on every tick; the
    // lookup's answer shows them.
    portFacts_->ForgetHolders(nodeIndex);
    if (use == kInUseByOther)
      portFacts_->LookUpHolders(nodeIndex);
    else
      ShowPortFacts(nodeIndex);
  } catch (...) {
  }
}

}  // namespace app
