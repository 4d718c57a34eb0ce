// TMainForm: creation, menus, layouts and closing.
#include "app/Main.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "app/About.h"
#include "app/Board1.h"
#include "app/Board2.h"
#include "app/Help.h"
#include "app/MdiTiling.h"
#include "app/Port1.h"
#include "app/Port2.h"
#include "app/PortFacts.h"
#include "app/TreeImages.h"
#include "gui/Guard.h"
#include "term/MdiOrder.h"
#include "term/TermMDIChild.h"
#include "ui_Main.h"

namespace app {

bool TreeRebuilding = false;

QSize DefaultMainWindowSize(const QSize& workArea) {
  return (workArea * 3 / 4).expandedTo(kMainWindowDesignSize).boundedTo(workArea);
}

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::TMainForm>()) {
  LoadImages();
  ui_->setupUi(this);
  ui_->TreeView->setAccessibleName(QStringLiteral("Devices"));
  if (const QScreen* desktop = screen()) {
    const QSize workArea = desktop->availableGeometry().size();
    setMinimumSize(kMainWindowDesignSize.boundedTo(workArea));
    resize(DefaultMainWindowSize(workArea));
  }
  SetupMenus();
  SetupMdiKeys();
  portFacts_ = std::make_unique<TPortFacts>();
  portFacts_->OnHoldersFound = [this](int nodeIndex) { ShowPortFacts(nodeIndex); };
  window_ = platform::CreateMessageWindow(
      [this](platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
        return HandleMessage(msg, wParam, lParam);
      });
  statusTimer_.setInterval(500);
  connect(&statusTimer_, &QTimer::timeout, this,
          gui::Guarded([this] { TreeViewStatusTimerTimer(); }));
  connect(ui_->TreeView, &QTreeWidget::currentItemChanged, this,
          gui::Guarded([this] { TreeViewChange(); }));
  connect(ui_->TreeView, &QTreeWidget::itemDoubleClicked, this,
          gui::Guarded([this] { TreeViewDblClick(); }));

  // FormCreate
  boardComList_.clear();
  ShowTreeOnlyLayout();
  auto* contents = new QWidget;
  contents->setObjectName("RightPanelContents");
  contents->setAutoFillBackground(true);
  contents->setBackgroundRole(QPalette::Base);
  auto* stack = new QVBoxLayout(contents);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(0);  // the pane is as high as the panel it shows
  board1Frame_ = new TBoard1Frame;
  port1Frame_ = new TPort1Frame;
  port2Frame_ = new TPort2Frame;
  board2Frame_ = new TBoard2Frame;
  for (QWidget* frame : {static_cast<QWidget*>(board1Frame_), static_cast<QWidget*>(port1Frame_),
                         static_cast<QWidget*>(port2Frame_), static_cast<QWidget*>(board2Frame_)}) {
    frame->hide();
    stack->addWidget(frame, 0, Qt::AlignLeft | Qt::AlignTop);
  }
  stack->addStretch();
  ui_->RightPanel->setWidget(contents);
  ui_->RightPanel->setBackgroundRole(QPalette::Base);
  const auto openSelected =
      gui::Guarded([this] { OpenTerminal(ui_->TreeView->currentItem()->text(0)); });
  connect(port1Frame_, &TPort1Frame::TerminalButtonClick, this, openSelected);
  connect(port2Frame_, &TPort2Frame::TerminalButtonClick, this, openSelected);
  BuildDeviceTree();
  statusTimer_.start();
}

TMainForm::~TMainForm() {
  statusTimer_.stop();
  platform::DestroyMessageWindow(window_);
}

void TMainForm::SetupMenus() {
  ui_->N1->setSeparator(true);
  ui_->N2->setSeparator(true);
  auto* hiddenSeparator = ui_->ToolBar->addSeparator();
  hiddenSeparator->setObjectName("ToolButton3");
  hiddenSeparator->setVisible(false);
  ui_->VSplitter->setStretchFactor(1, 1);
  ui_->MdiClient->setBackground(palette().brush(QPalette::Dark));

  auto guarded = [this](void (TMainForm::*handler)()) {
    return gui::Guarded([this, handler] { (this->*handler)(); });
  };
  connect(ui_->FileExitItem, &QAction::triggered, this, guarded(&TMainForm::FileExit1Execute));
  connect(ui_->WindowCascadeItem, &QAction::triggered, this,
          guarded(&TMainForm::WindowCascadeItemClick));
  connect(ui_->WindowTileItem, &QAction::triggered, this, guarded(&TMainForm::WindowTileItemClick));
  connect(ui_->WindowTileItem2, &QAction::triggered, this,
          guarded(&TMainForm::WindowTileItem2Click));
  connect(ui_->WindowArrangeItem, &QAction::triggered, this,
          guarded(&TMainForm::WindowArrangeItemClick));
  connect(ui_->TallyportHelp1, &QAction::triggered, this, guarded(&TMainForm::TallyportHelp1Click));
  connect(ui_->HelpAboutItem, &QAction::triggered, this, guarded(&TMainForm::HelpAbout1Execute));
  connect(ui_->Window1, &QMenu::aboutToShow, this, gui::Guarded([this] { RebuildWindowMenu(); }));
  // A menu title shows its hint while the pointer is on it.
  for (QMenu* menu : {ui_->File1, ui_->Window1, ui_->Help1})
    menu->menuAction()->setStatusTip(menu->statusTip());
}

// The MDI keys: Ctrl+F6 goes on to the next child; Ctrl+F4 closes the
// active one. Where the platform's close keys hold Ctrl+F4 (Windows), it is
// the child's own close key already, and a second binding would make both
// ambiguous.
void TMainForm::SetupMdiKeys() {
  auto addKey = [this](QKeyCombination key, auto handler) {
    auto* action = new QAction(this);
    action->setShortcut(key);
    connect(action, &QAction::triggered, this, gui::Guarded(handler));
    addAction(action);
  };
  addKey(Qt::CTRL | Qt::Key_F6, [this] { ui_->MdiClient->activateNextSubWindow(); });
  const QKeySequence closeKey(Qt::CTRL | Qt::Key_F4);
  if (!QKeySequence::keyBindings(QKeySequence::Close).contains(closeKey))
    addKey(Qt::CTRL | Qt::Key_F4, [this] { ui_->MdiClient->closeActiveSubWindow(); });
}

// Once the window has its size from the window system, the tree is made as
// wide as its widest node, so that board names show whole: at least its
// designed width, at most a third of the window.
void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!std::exchange(treeFitted_, true)) FitTreeToNodes();
}

void TMainForm::FitTreeToNodes() {
  constexpr int kTreeDesignWidth = 160;
  QTreeWidget& tree = *ui_->TreeView;
  const int nodes = static_cast<QAbstractItemView&>(tree).sizeHintForColumn(0) +
                    2 * tree.frameWidth() + tree.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const int treeWidth =
      std::clamp(nodes, kTreeDesignWidth, std::max(kTreeDesignWidth, width() / 3));
  ui_->VSplitter->setSizes(
      {treeWidth, std::max(0, width() - treeWidth - ui_->VSplitter->handleWidth())});
}

QMdiArea& TMainForm::MdiArea() const {
  return *ui_->MdiClient;
}

int TMainForm::MdiChildCount() const {
  return int(ui_->MdiClient->subWindowList(QMdiArea::CreationOrder).size());
}

std::vector<term::TTermMDIChildForm*> TMainForm::TerminalWindows() const {
  return term::TerminalWindowsInMdiOrder(*ui_->MdiClient);
}

// --- Layouts -----------------------------------------------------------------

void TMainForm::ShowTreeOnlyLayout() {
  ui_->MdiClient->hide();
}

void TMainForm::ShowSplitLayout() {
  ui_->MdiClient->show();
  ui_->HSplitter->refresh();  // the handle shows now, so the sizes below add up
  const int topHeight = int(std::nearbyint(height() * 0.27));  // halves to even
  const int total = ui_->HSplitter->height() - ui_->HSplitter->handleWidth();
  ui_->HSplitter->setSizes({topHeight, std::max(0, total - topHeight)});
}

int TMainForm::TopPanelHeight() const {
  return ui_->HSplitter->sizes().value(0);
}

bool TMainForm::SplitLayoutShown() const {
  return !ui_->MdiClient->isHidden();
}

void TMainForm::HideDetailFrames() {
  board1Frame_->hide();
  port1Frame_->hide();
  port2Frame_->hide();
  board2Frame_->hide();
}

// --- Menus -------------------------------------------------------------------

void TMainForm::FileExit1Execute() {
  close();
}

void TMainForm::WindowCascadeItemClick() {
  ui_->MdiClient->cascadeSubWindows();
}

void TMainForm::WindowTileItemClick() {
  TileSubWindows(*ui_->MdiClient, TileMode::Horizontal);
}

void TMainForm::WindowTileItem2Click() {
  TileSubWindows(*ui_->MdiClient, TileMode::Vertical);
}

void TMainForm::WindowArrangeItemClick() {
  ArrangeMinimizedSubWindows(*ui_->MdiClient);
}

void TMainForm::TallyportHelp1Click() {
  THelpViewer::Instance().ShowContents();
}

void TMainForm::ShowHelpContext(int context) {
  THelpViewer::Instance().ShowContext(context);
}

void TMainForm::HelpAbout1Execute() {
  if (TAboutBox* about = TAboutBox::Instance()) about->exec();
}

// The Window menu lists the open windows by caption below its own items.
void TMainForm::RebuildWindowMenu() {
  QMenu* menu = ui_->Window1;
  for (QAction* action : menu->actions()) {
    if (action->property("listsWindow").toBool()) {
      menu->removeAction(action);
      action->deleteLater();
    }
  }
  const auto windows = ui_->MdiClient->subWindowList(QMdiArea::CreationOrder);
  if (windows.isEmpty()) return;
  auto addListed = [menu](QAction* action) {
    action->setProperty("listsWindow", true);
    menu->addAction(action);
  };
  auto* separator = new QAction(menu);
  separator->setSeparator(true);
  addListed(separator);
  for (int i = 0; i < windows.size(); ++i) {
    QMdiSubWindow* window = windows[i];
    auto* item = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(window->windowTitle()), menu);
    item->setCheckable(true);
    item->setChecked(window == ui_->MdiClient->activeSubWindow());
    connect(item, &QAction::triggered, this,
            gui::Guarded([this, window = QPointer<QMdiSubWindow>(window)] {
              if (window) ui_->MdiClient->setActiveSubWindow(window);
            }));
    addListed(item);
  }
}

// --- Closing -----------------------------------------------------------------

void TMainForm::closeEvent(QCloseEvent* event) {
  FormCloseQuery();
  FormClose();
  event->accept();
}

void TMainForm::FormCloseQuery() {
  try {
    statusTimer_.stop();
  } catch (...) {
  }
}

void TMainForm::FormClose() {
  try {
    const auto windows = term::MdiOrder(*ui_->MdiClient);
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
      if (QPointer<QMdiSubWindow> window = *it) window->close();
    }
    TearDownTree();
  } catch (...) {
  }
}

}  // namespace app
