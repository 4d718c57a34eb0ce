#include "tests/term/TermTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QtTest/QTest>
#include <memory>

#include "platform/Messages.h"
#include "platform/qt/QtMessagePump.h"
#include "term/MdiOrder.h"

namespace term::test {
namespace {

// One QApplication for the test program, with the platform pump on its
// GUI thread (as the program sets it up).
class QtEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    application_ = std::make_unique<QApplication>(argc_, argv_);
    pump_ = std::make_unique<platform::QtMessagePump>();
  }
  void TearDown() override {
    pump_.reset();
    application_.reset();
  }

 private:
  int argc_ = 1;
  char name_[10] = "term_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
  std::unique_ptr<platform::QtMessagePump> pump_;
};

[[maybe_unused]] testing::Environment* const kQtEnvironment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

bool WaitUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
  return QTest::qWaitFor(
      [&] {
        platform::ProcessMessages();
        return cond();
      },
      static_cast<int>(timeout.count()));
}

void Settle() {
  for (int i = 0; i < 4; ++i) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    platform::ProcessMessages();
  }
}

FakeMainWindow::FakeMainWindow() {
  mdiArea.resize(900, 700);
  mdiArea.show();
}

FakeMainWindow::~FakeMainWindow() {
  CloseAll();
}

TTermMDIChildForm* FakeMainWindow::OpenTerminal(int nodeIndex, gui::TNodeType type,
                                                std::uint16_t comNumber) {
  selectedNode = nodeIndex;
  nodeTypes[nodeIndex] = type;
  currentComNumber = comNumber;
  auto* window = new TTermMDIChildForm(*this);
  mdiArea.addSubWindow(window);
  window->setWindowTitle(QStringLiteral("COM%1 Terminal").arg(comNumber));
  window->show();
  return window;
}

void FakeMainWindow::CloseAll() {
  std::vector<QPointer<QMdiSubWindow>> windows;
  for (QMdiSubWindow* window : mdiArea.subWindowList()) windows.emplace_back(window);
  for (const QPointer<QMdiSubWindow>& window : windows) {
    if (window) window->close();
  }
  WaitUntil([&] {
    for (const QPointer<QMdiSubWindow>& window : windows) {
      if (window) return false;
    }
    return true;
  });
}

void FakeMainWindow::SetNodeInUseByUs(int nodeIndex, bool inUse) {
  nodeInUse[nodeIndex] = inUse;
  nodeMarks.emplace_back(nodeIndex, inUse);
}

int FakeMainWindow::MdiChildCount() const {
  return static_cast<int>(mdiArea.subWindowList().size());
}

std::vector<TTermMDIChildForm*> FakeMainWindow::TerminalWindows() const {
  return TerminalWindowsInMdiOrder(mdiArea);
}

ModalAnswers::ModalAnswers() {
  timer_.setInterval(10);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start();
}

void ModalAnswers::Poll() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (!box || !box->isVisible()) return;
  titles.push_back(box->windowTitle());
  texts.push_back(box->text());
  informativeTexts.push_back(box->informativeText());
  QAbstractButton* button = nullptr;
  if (!answers_.empty()) {
    button = box->button(answers_.front());
    answers_.pop_front();
  }
  if (!button) button = box->defaultButton();
  if (!button && !box->buttons().isEmpty()) button = box->buttons().front();
  if (button) button->click();
}

}  // namespace term::test
