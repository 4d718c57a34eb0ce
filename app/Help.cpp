#include "app/Help.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTextBrowser>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWindow>

#include "platform/Modules.h"
#include "term/TermMainWindow.h"

namespace app {
namespace {

constexpr const char* kContentsPage = "index.html";

// help/ beside the program (the build and a Windows-style install), else the
// installed share folder.
QString FindHelpFolder() {
  const QDir programDir = QFileInfo(QString::fromStdString(platform::ProgramFilePath())).dir();
  for (const QString& candidate :
       {programDir.filePath("help"), programDir.filePath("../share/harbex/help")}) {
    if (QFileInfo::exists(QDir(candidate).filePath(kContentsPage)))
      return QDir(candidate).canonicalPath();
  }
  return {};
}

class ContextHelpFilter : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1 ||
        !watched->isWidgetType()) {
      return false;
    }
    QWidget* focus = QApplication::focusWidget();
    const int context = HelpContextOf(focus ? focus : static_cast<QWidget*>(watched));
    if (context == 0) return false;
    THelpViewer::Instance().ShowContext(context);
    return true;
  }
};

}  // namespace

QString HelpPageOfContext(int context) {
  switch (context) {
    case 10:
      return QStringLiteral("main-window.html");
    case 20:
      return QStringLiteral("ports.html");
    case 40:
      return QStringLiteral("properties.html#buttons");
    default:
      return {};
  }
}

int HelpContextOf(const QWidget* widget) {
  for (; widget; widget = widget->parentWidget()) {
    const QVariant context = widget->property(term::kHelpContextProperty);
    if (context.isValid() && context.toInt() != 0) return context.toInt();
  }
  return 0;
}

THelpViewer& THelpViewer::Instance() {
  static THelpViewer* viewer = new THelpViewer;
  return *viewer;
}

THelpViewer::THelpViewer(QWidget* parent)
    : QWidget(parent, Qt::Window), folder_(FindHelpFolder()), browser_(new QTextBrowser(this)) {
  setObjectName("HelpViewer");
  setWindowTitle(QStringLiteral("Quor Tallyport Help"));
  setAttribute(Qt::WA_QuitOnClose, false);
  resize(640, 520);
  auto* tools = new QToolBar(this);
  tools->addAction(QStringLiteral("Contents"), this, [this] { ShowContents(); });
  tools->addAction(QStringLiteral("Back"), browser_, &QTextBrowser::backward);
  tools->addAction(QStringLiteral("Forward"), browser_, &QTextBrowser::forward);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(tools);
  layout->addWidget(browser_);
  browser_->setOpenExternalLinks(false);
  if (!folder_.isEmpty()) browser_->setSearchPaths({folder_});
}

void THelpViewer::ShowPage(const QString& page) {
  if (folder_.isEmpty() || page.isEmpty()) {
    browser_->setHtml(QStringLiteral("<p>The help pages were not found beside the program.</p>"));
  } else {
    QUrl url = QUrl::fromLocalFile(QDir(folder_).filePath(page.section('#', 0, 0)));
    if (page.contains('#')) url.setFragment(page.section('#', 1));
    browser_->setSource(url);
  }
  // Help asked for from a modal dialog stays usable: a window that belongs to
  // the modal one is not blocked by it. Otherwise it belongs to no window.
  QWidget* modal = QApplication::activeModalWidget();
  winId();  // the window handle exists from here on
  windowHandle()->setTransientParent(modal && modal != this ? modal->windowHandle() : nullptr);
  show();
  raise();
  activateWindow();
}

void THelpViewer::ShowContents() {
  ShowPage(kContentsPage);
}

void THelpViewer::ShowContext(int context) {
  ShowPage(HelpPageOfContext(context));
}

QString THelpViewer::CurrentPage() const {
  return browser_->source().fileName();
}

void InstallContextHelp() {
  static ContextHelpFilter filter;
  qApp->installEventFilter(&filter);
}

}  // namespace app
