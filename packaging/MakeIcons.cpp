// vorelan-icons FOLDER SIZE...: writes the desktop icon at each size as
// FOLDER/<size>x<size>/apps/vorelan.png, the hicolor theme's layout. Run by
// the build; the picture itself is drawn by the program's own Pictures::icon.
#include "Pictures.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: vorelan-icons FOLDER SIZE...\n");
    return 2;
  }
  const QDir root(QString::fromLocal8Bit(argv[1]));
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size < 8 || size > 1024) {
      std::fprintf(stderr, "vorelan-icons: bad size '%s'\n", argv[i]);
      return 2;
    }
    const QString folder = QStringLiteral("%1x%1/apps").arg(size);
    const QString path = root.filePath(folder + QStringLiteral("/vorelan.png"));
    if (!root.mkpath(folder) || !Pictures::icon(size).save(path, "PNG")) {
      std::fprintf(stderr, "vorelan-icons: cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
