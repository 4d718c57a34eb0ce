// The device tree's state images: grey check, red check (a port in use) and
// green emblem, drawn from SVG sources at 16 x 16. GUI thread.
#pragma once

#include <QIcon>

namespace app {

// Registers the program's images; call before the first one is used.
void LoadImages();

// TreeViewImageList's image for a state index; a blank of the same size for
// 0 (ports line up) and no image for -1.
QIcon TreeStateImage(int stateIndex);
// The image list itself: 0 grey check, 1 red check, 2 green emblem.
QIcon TreeViewImage(int index);

}  // namespace app
