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
  // Made once: a fresh icon per mark would be drawn from its SVG anew, and
  // would count as a change of every item marked again.
  static const auto* const kImages =
      new QIcon[3]{QIcon(":/images/tree-grey-check.svg"), QIcon(":/images/tree-red-check.svg"),
                   QIcon(":/images/tree-green-emblem.svg")};
  if (index < 0 || index >= 3) return {};
  return kImages[index];
}

QIcon TreeStateImage(int stateIndex) {
  // State index 1 shows the list's second image; 0 shows none but keeps the
  // place, so that marked and unmarked ports line up.
  if (stateIndex == 1) return TreeViewImage(1);
  if (stateIndex == 0) {
    static const auto* const kBlank = [] {
      QPixmap blank(16, 16);
      blank.fill(Qt::transparent);
      return new QIcon(blank);
    }();
    return *kBlank;
  }
  return {};
}

}  // namespace app
