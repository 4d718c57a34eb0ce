// What a terminal window and its properties dialog use of the main window:
// the device tree's selection and node records, the two port panels, the
// MDI children and the layout. The main window (app/Main) implements it;
// term tests implement it with a small fake. GUI thread.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "gui/NodeKinds.h"

namespace term {

class TTermMDIChildForm;

class TermMainWindow {
 public:
  virtual ~TermMainWindow() = default;

  // Absolute index of the tree's selected node; -1 when none is selected.
  virtual int SelectedNodeIndex() const = 0;
  // The ComNumber of the port node selected last (0 at start).
  virtual std::uint16_t CurrentComNumber() const = 0;
  virtual gui::TNodeType NodeType(int nodeIndex) const = 0;
  // In use: state image 1 and InUseByUs set; not in use: state image 0 and
  // InUseByUs cleared.
  virtual void SetNodeInUseByUs(int nodeIndex, bool inUse) = 0;

  // Port2Frame (board port) and Port1Frame (other port).
  virtual void SetBoardPortTerminalButtonEnabled(bool enabled) = 0;
  virtual void SetBoardPortStatusText(const QString& text) = 0;  // ComStatusInformation
  virtual void SetOtherPortTerminalButtonEnabled(bool enabled) = 0;

  // MDI children (all kinds) and the terminal windows among them, in MDI
  // order: index 0 the active child, then down the stacking order
  // (term/MdiOrder.h).
  virtual int MdiChildCount() const = 0;
  virtual std::vector<TTermMDIChildForm*> TerminalWindows() const = 0;
  virtual void ShowTreeOnlyLayout() = 0;

  // Opens the program's help at a context (10, 20 or 40).
  virtual void ShowHelpContext(int context) = 0;
};

// The help context a widget answers F1 with: a dynamic property of this name
// on the widget or its nearest parent that has one.
constexpr const char* kHelpContextProperty = "helpContext";

}  // namespace term
