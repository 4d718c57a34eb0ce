#include "app/TreeImages.h"

#include <QPixmap>

// The images live in a static library, whose resource object the linker
// would drop unless it is referred to.
static void InitHarbexResources() {
  Q_INIT_RESOURCE(harbex);
}

namespace app {

void LoadImages() {
  static const bool loaded = (InitHarbexResources(), true);
  (void)loaded;
}

QIcon TreeViewImage(int index) {
  static const char* const kImages[] = {":/images/tree-grey-check.svg",
                                        ":/images/tree-red-check.svg",
                                        ":/images/tree-green-emblem.svg"};
  if (index < 0 || index >= int(std::size(kImages))) return {};
  return QIcon(kImages[index]);
}

QIcon TreeStateImage(int stateIndex) {
  // State index 1 shows the list's second image; 0 shows none but keeps the
  // place, so that marked and unmarked ports line up.
  if (stateIndex == 1) return TreeViewImage(1);
  if (stateIndex == 0) {
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    return QIcon(blank);
  }
  return {};
}

}  // namespace app
