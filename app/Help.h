// The program's help: HTML pages installed beside the program (help/ in its
// folder, or share/harbex/help beside its bin folder), shown in a help
// window at the contents or at a context. F1 anywhere opens the context of
// the focused control or its nearest parent that has one (the helpContext
// property). GUI thread.
#pragma once

#include <QDir>
#include <QWidget>

class QTextBrowser;

namespace app {

// The page a help context opens, relative to the help folder; empty for an
// unknown context.
QString HelpPageOfContext(int context);

// The help context of a widget: its own or its nearest parent's; 0 if none.
int HelpContextOf(const QWidget* widget);

class THelpViewer : public QWidget {
  Q_OBJECT

 public:
  // The one help window, created on first use.
  static THelpViewer& Instance();

  void ShowContents();
  void ShowContext(int context);
  // The folder the pages are read from; empty when none was found.
  const QString& HelpFolder() const { return folder_; }
  QString CurrentPage() const;

 private:
  explicit THelpViewer(QWidget* parent = nullptr);
  void ShowPage(const QString& page);

  QString folder_;
  QTextBrowser* browser_;
};

// Makes F1 open the context help in every window of the application.
void InstallContextHelp();

}  // namespace app
