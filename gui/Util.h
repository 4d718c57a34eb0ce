// Small helpers the main window and the terminal windows share: the plain
// message box and the fitting of a caption. GUI thread.
#pragma once

#include <QString>

class QWidget;

namespace gui {

// Widens a button of designed width to its caption in the desktop's font.
void FitToCaption(QWidget& button);

// Gives every value label of a panel its caption as its label for
// assistive technology: a caption ending in ':' labels the label that
// follows it on the same row.
void LinkCaptions(QWidget& panel);

// A modal message box with the application's title and an OK button; the
// informative text, when there is one, goes below the text.
void ShowMessage(const QString& text, const QString& informativeText = {});

}  // namespace gui
