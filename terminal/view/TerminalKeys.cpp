#include "terminal/view/TerminalKeys.h"

namespace terminal {

int CharacterForKey(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
  bool ctrl = modifiers.testFlag(Qt::ControlModifier);
  bool alt = modifiers.testFlag(Qt::AltModifier);
  if (alt && !ctrl) return -1;  // a menu key, not a character
  switch (key) {
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Tab:
      return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 13;
    case Qt::Key_Escape:
      return 27;
    case Qt::Key_Delete:
      return -1;
    default:
      break;
  }
  if (ctrl && !alt) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return key - Qt::Key_A + 1;
    switch (key) {
      case Qt::Key_BracketLeft:
        return 27;
      case Qt::Key_Backslash:
        return 28;
      case Qt::Key_BracketRight:
        return 29;
      case Qt::Key_AsciiCircum:
        return 30;
      case Qt::Key_Underscore:
        return 31;
      default:
        return -1;
    }
  }
  if (text.isEmpty()) return -1;
  char16_t ch = text.at(0).unicode();
  return ch >= 0x20 && ch <= 0xFF && ch != 0x7F ? int(ch) : -1;
}

bool IsModifierKey(int key) {
  switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
      return true;
    default:
      return false;
  }
}

}  // namespace terminal
