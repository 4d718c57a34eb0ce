// The help installed beside the program, opened at contexts and by F1.
#include <gtest/gtest.h>

#include <QTest>
#include <QTreeWidget>

#include "app/Help.h"
#include "app/Port2.h"
#include "gui/Lamp.h"
#include "tests/app/AppTestSupport.h"

namespace app_test {
namespace {

TEST(Help, ContextsOpenTheirPagesFromTheHelpBesideTheProgram) {
  EnsureApplication();
  app::THelpViewer& viewer = app::THelpViewer::Instance();
  ASSERT_FALSE(viewer.HelpFolder().isEmpty());
  const std::pair<int, const char*> pages[] = {
      {10, "main-window.html"}, {20, "ports.html"}, {40, "properties.html"}};
  for (auto [context, page] : pages) {
    viewer.ShowContext(context);
    EXPECT_EQ(viewer.CurrentPage(), page) << context;
  }
  viewer.ShowContents();
  EXPECT_EQ(viewer.CurrentPage(), "index.html");
  viewer.close();
}

TEST(Help, F1OpensTheContextOfTheFocusedControlOrItsNearestParent) {
  EnsureApplication();
  app::InstallContextHelp();
  ShimScript script;
  ScriptedBinding binding(script, "libnosuchshim.so");
  app::TMainForm form;
  form.show();
  QApplication::setActiveWindow(&form);
  app::THelpViewer& viewer = app::THelpViewer::Instance();

  auto* tree = form.findChild<QTreeWidget*>("TreeView");
  tree->setFocus();
  QTest::keyClick(tree, Qt::Key_F1);
  EXPECT_EQ(viewer.CurrentPage(), "main-window.html") << "the tree takes the window's context";

  app::TPort2Frame& panel = form.Port2Frame();
  EXPECT_EQ(app::HelpContextOf(&panel.Lamp("CtsColBtnPanel")), 20);
  QWidget* button = panel.findChild<QWidget*>("TerminalButton");
  button->setEnabled(true);
  panel.show();
  button->setFocus();
  QTest::keyClick(button, Qt::Key_F1);
  EXPECT_EQ(viewer.CurrentPage(), "ports.html");
  viewer.close();
}

}  // namespace
}  // namespace app_test
