// vorelan-gallery: shows the program's own controls with sample values.
//   vorelan-gallery                  open the window
//   vorelan-gallery --screenshot F   save a picture of the window to F and quit
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "Gallery.h"

int main(int argc, char** argv) {
  const char* screenshot = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::puts(
          "Usage: vorelan-gallery [--screenshot FILE.png]\n"
          "Shows the hex edit, bit panel, identifier range view and threaded timer controls.");
      return 0;
    }
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
      screenshot = argv[++i];
    } else {
      std::fprintf(stderr, "vorelan-gallery: unknown argument '%s' (try --help)\n", argv[i]);
      return 2;
    }
  }
  QApplication app(argc, argv);
  TGalleryWindow window;
  window.show();
  if (screenshot) {
    QTimer::singleShot(300, &window, [&] {
      const bool saved = window.grab().save(QString::fromLocal8Bit(screenshot));
      if (!saved) std::fprintf(stderr, "vorelan-gallery: cannot write %s\n", screenshot);
      app.exit(saved ? 0 : 1);
    });
  }
  return app.exec();
}
