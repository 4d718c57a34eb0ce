// What the main window and the terminal windows share: SetLamp, the one look
// of a modem-line lamp, with TLampPanel, the small captioned panel it paints;
// and the plain message box. GUI thread.
#pragma once

#include <QLabel>

namespace app {

// A 25 x 16 panel with a line's caption ("CTS"); Click fires on a left click.
class TLampPanel : public QLabel {
  Q_OBJECT

 public:
  explicit TLampPanel(QWidget* parent = nullptr);

 signals:
  void Click();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// on and available: lowered, lime green, black caption. Off and available:
// raised, button face, black caption. Not available: raised, button face,
// grey caption.
void SetLamp(TLampPanel& lamp, bool on, bool available);

// Widens a button of designed width to its caption in the desktop's font.
void FitToCaption(QWidget& button);

// A modal message box with the application's title and an OK button.
void ShowMessage(const QString& text);

}  // namespace app
