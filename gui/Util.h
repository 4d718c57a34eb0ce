// Small helpers the main window and the terminal windows share: the
// application's title, the plain message box and the fitting of a caption.
// GUI thread.
#pragma once

#include <QMessageBox>

class QString;
class QWidget;

namespace gui {

// The caption of the main window and the title of its message boxes. The
// window system shows every title as given: the program sets no display
// name, which Qt would append to each top-level title.
constexpr const char* kApplicationTitle = "Quor Tallyport";

// Widens a button of designed width to its caption in the desktop's font.
void FitToCaption(QWidget& button);

// Gives every value label of a panel its caption as its label for
// assistive technology: a caption ending in ':' labels the label that
// follows it on the same row.
void LinkCaptions(QWidget& panel);

// A plain modal message box (no icon, the texts as plain text) over the
// active window; the informative text, when there is one, goes below the
// text. Returns the button pressed.
QMessageBox::StandardButton ShowMessageBox(const QString& title, const QString& text,
                                           QMessageBox::StandardButtons buttons,
                                           const QString& informativeText = {});

// A plain message box with the application's title and an OK button.
void ShowMessage(const QString& text, const QString& informativeText = {});

}  // namespace gui
