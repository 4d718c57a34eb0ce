// SetLamp, the one look of a modem-line lamp, and TLampPanel, the small
// captioned panel it paints: the board-port panel and the terminal window
// both show lines this way. GUI thread.
#pragma once

#include <QLabel>

namespace gui {

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
// grey caption. Assistive technology reads the state as "on", "off" or
// "not available".
void SetLamp(TLampPanel& lamp, bool on, bool available);

}  // namespace gui
