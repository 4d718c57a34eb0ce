// The application object as the program sets it up: its name, icon and the
// design font. GUI thread, once the QApplication exists.
#pragma once

namespace app {

// No display name is set: Qt would append it to every top-level title, and
// each window's title is exactly its own.
void SetUpApplication();

}  // namespace app
