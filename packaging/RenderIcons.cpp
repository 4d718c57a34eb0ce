// Build step: renders the program's SVG icon at the sizes of the desktop's
// hicolor theme, with the same SVG renderer the program uses.
//   RenderIcons <icon.svg> <out folder> <size>...
// writes <out folder>/<size>.png for each size.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: RenderIcons ICON.svg OUTDIR SIZE...\n");
    return 2;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
  if (!renderer.isValid()) {
    std::fprintf(stderr, "RenderIcons: cannot read %s\n", argv[1]);
    return 1;
  }
  for (int i = 3; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size < 1 || size > 1024) {
      std::fprintf(stderr, "RenderIcons: bad size %s\n", argv[i]);
      return 2;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    const QString out = QString::fromLocal8Bit(argv[2]) + '/' + QString::number(size) + ".png";
    if (!image.save(out, "PNG")) {
      std::fprintf(stderr, "RenderIcons: cannot write %s\n", qPrintable(out));
      return 1;
    }
  }
  return 0;
}
