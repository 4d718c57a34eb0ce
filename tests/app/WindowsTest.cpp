// What a technician sees of the windows: each box and dialog comes up painted
// under exactly its title (the OnScreen cases run again under Xvfb, where the
// title is the window system's and the pixels the screen's), the default
// size cuts nothing, the MDI area scrolls, help works from a modal dialog.
#include <gtest/gtest.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>
#include <functional>

#include "app/About.h"
#include "app/Application.h"
#include "app/Help.h"
#include "app/Port2.h"
#include "gui/Util.h"
#include "platform/Modules.h"
#include "serial/qt/ComSelectForm.h"
#include "term/TermMDIChild.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/FakeCommPort.h"

namespace app_test {
namespace {

// Under X11 Qt appends a display name to the title it gives the window
// system, not to QWindow::title().
QString WindowSystemTitle(const QWidget& window) {
  if (QGuiApplication::platformName() != "xcb") return window.windowHandle()->title();
  QProcess xprop;
  xprop.start("xprop", {"-id", QString::number(window.winId()), "_NET_WM_NAME"});
  xprop.waitForFinished();
  return QString::fromUtf8(xprop.readAllStandardOutput()).section('"', 1, -2);
}

// The share of the window's own drawing that the screen shows where it is.
double ShownShare(QWidget& window) {
  const QImage drawn = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage shown =
      window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
  if (shown.size() != drawn.size()) return 0;
  qsizetype same = 0;
  for (int y = 0; y < drawn.height(); ++y)
    for (int x = 0; x < drawn.width(); ++x) same += drawn.pixel(x, y) == shown.pixel(x, y);
  return double(same) / double(drawn.width() * drawn.height());
}

struct WindowCase {
  const char* name;
  const char* title;
  const char* text;  // a message box's text starts so; empty for any other window
  std::function<void(QToolButton& test, QToolButton& properties)> open;
};

void PrintTo(const WindowCase& c, std::ostream* out) {
  *out << c.name;
}

class WindowsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    EnsureApplication();
    app::SetUpApplication();
    app::InstallContextHelp();
  }
  static ShimScript EightPortBoard() {
    ShimScript script;
    ScriptedBoard& board = script.boards.emplace_back();
    board.portCount = 8;
    board.name = "Quor PCI 8-port board 1 (COM40-COM47)";
    for (int i = 0; i < 8; ++i) board.portNames.push_back("COM" + std::to_string(40 + i));
    board.ports.resize(8);
    return script;
  }
  WindowsTest() {
    fake_->SetLoopback(true);
    form_.show();
  }
  // A button of the terminal window on the fake COM77, opened at the first
  // call as the port node's double click opens it.
  QToolButton& Button(const char* name) {
    if (form_.TerminalWindows().empty()) {
      auto* tree = form_.findChild<QTreeWidget*>("TreeView");
      tree->setCurrentItem(tree->findItems("COM77", Qt::MatchExactly | Qt::MatchRecursive)[0]);
      form_.OpenTerminal("COM77");
    }
    return *form_.TerminalWindows().front()->findChild<QToolButton*>(name);
  }

  support::ScopedFakePort fake_{77};
  ShimScript script_ = EightPortBoard();
  ScriptedBinding binding_{script_};
  app::TMainForm form_;
};

class OnScreen : public WindowsTest, public testing::WithParamInterface<WindowCase> {};

// Another box on the way (the loopback prompt before its result) is answered
// OK; the sought window is looked at once painted, or after two seconds.
TEST_P(OnScreen, ComesUpPaintedUnderExactlyItsTitle) {
  const WindowCase& c = GetParam();
  QString title;
  double shown = 0;
  int polls = 0;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(window);
      const bool sought = window->windowTitle() == c.title &&
                          (box ? *c.text && box->text().startsWith(c.text) : !*c.text);
      if (!window->isVisible() || !title.isNull()) continue;
      if (box && !sought) box->button(QMessageBox::Ok)->click();
      if (!sought || !window->windowHandle()->isExposed()) continue;
      if ((shown = ShownShare(*window)) < 0.99 && ++polls < 100) return;
      title = WindowSystemTitle(*window);
      if (auto* dialog = qobject_cast<QDialog*>(window))
        dialog->reject();
      else
        window->close();
    }
  });
  poll.start(20);
  if (c.open) c.open(Button("SendTestCharsToolButton"), Button("PropertiesToolButton"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !title.isNull(); }, 20000));
  EXPECT_EQ(title, c.title);
  EXPECT_GE(shown, 0.99);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, OnScreen,
    testing::Values(WindowCase{"MainWindow", "Quor Tallyport", "", nullptr},
                    WindowCase{"Message", "Quor Tallyport", "COM9 failed",
                               [](auto&, auto&) { gui::ShowMessage("COM9 failed to open!"); }},
                    WindowCase{"LoopbackPrompt", "Quor Tallyport for Windows",
                               "This will run a loopback", [](auto& test, auto&) { test.click(); }},
                    WindowCase{"LoopbackResult", "Quor Tallyport for Windows",
                               "Loopback test results", [](auto& test, auto&) { test.click(); }},
                    WindowCase{"Properties", "COM77 Terminal Properties", "",
                               [](auto&, auto& properties) { properties.click(); }},
                    WindowCase{
                        "About", "About Quor Tallyport", "",
                        [](auto&, auto&) { app::TAboutBox(platform::ProgramFilePath()).exec(); }},
                    WindowCase{"PortPrompt", "Select Port", "",
                               [](auto&, auto&) { serial::PromptForComPort(); }},
                    WindowCase{"Help", "Quor Tallyport Help", "",
                               [](auto&, auto&) { app::THelpViewer::Instance().ShowContents(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowsTest, TheDefaultSizeOnA1280By800ScreenCutsNothing) {
  EXPECT_EQ(app::DefaultMainWindowSize({640, 480}), QSize(550, 424));
  EXPECT_EQ(app::DefaultMainWindowSize({500, 400}), QSize(500, 400));
  app::TMainForm form;
  form.resize(app::DefaultMainWindowSize({1280, 800}));
  ASSERT_EQ(form.size(), QSize(960, 600));
  form.show();
  auto* tree = form.findChild<QTreeWidget*>("TreeView");
  EXPECT_LE(static_cast<QAbstractItemView*>(tree)->sizeHintForColumn(0), tree->viewport()->width());
  form.NodeItem(1)->treeWidget()->setCurrentItem(form.NodeItem(1));
  EXPECT_FALSE(form.findChild<QScrollArea*>("RightPanel")->horizontalScrollBar()->isVisible());
  form.ShowSplitLayout();
  EXPECT_GE(form.MdiArea().viewport()->height(), 308) << "room for a terminal window";
}

TEST_F(WindowsTest, TheMdiAreaScrollsToAChildPastItsEdge) {
  form_.ShowSplitLayout();
  QMdiSubWindow* child = form_.MdiArea().addSubWindow(new QWidget);
  child->show();
  child->move(form_.MdiArea().viewport()->width() - 40, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form_.MdiArea().horizontalScrollBar()->isVisible(); }));
}

// The help window takes a click through the window system while the dialog
// holds the application; F1 in the dialog brings it back at its topic.
TEST_F(WindowsTest, HelpFromThePropertiesDialogIsUsableWhileTheDialogIsOpen) {
  app::THelpViewer& viewer = app::THelpViewer::Instance();
  QStringList pages;
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    dialog->findChild<QPushButton*>("HelpButton")->click();
    pages << viewer.CurrentPage();
    for (QToolButton* button : viewer.findChildren<QToolButton*>())
      if (button->text() == "Contents")
        QTest::mouseClick(viewer.windowHandle(), Qt::LeftButton, {},
                          button->mapTo(&viewer, button->rect().center()));
    pages << viewer.CurrentPage();
    QApplication::setActiveWindow(dialog);
    QTest::keyClick(dialog, Qt::Key_F1);
    pages << viewer.CurrentPage();
    dialog->close();
  });
  Button("PropertiesToolButton").click();
  EXPECT_EQ(pages, QStringList({"ports.html", "index.html", "ports.html"}));
  viewer.close();
}

}  // namespace
}  // namespace app_test
