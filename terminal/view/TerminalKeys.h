// The character a key press produces for the terminal, as the platform's
// character messages would: printable Latin-1 text, Enter as CR, Tab as HT,
// Backspace as BS, Esc as ESC and Ctrl+letter as its control code. Keys that
// produce no character (arrows, function keys, Delete, Alt+key) give -1.
#pragma once

#include <QString>
#include <Qt>

namespace terminal {

int CharacterForKey(int key, Qt::KeyboardModifiers modifiers, const QString& text);

// Shift, Ctrl, Alt (and their kin) pressed alone.
bool IsModifierKey(int key);

}  // namespace terminal
