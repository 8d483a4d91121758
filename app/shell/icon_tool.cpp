// Writes the program's icon (its emblem) at the sizes the desktop's icon theme takes:
//   sonvera_icon <share folder>   ->  <share>/icons/hicolor/<n>x<n>/apps/sonvera.png
#include "Artwork.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: sonvera_icon <share folder>\n");
    return 2;
  }
  for (int size : {32, 48, 64, 128, 256}) {
    const QString folder =
        QStringLiteral("%1/icons/hicolor/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
    if (!QDir().mkpath(folder) || !sv::art::LogoImage(size).save(folder + QStringLiteral("/sonvera.png"))) {
      std::fprintf(stderr, "sonvera_icon: cannot write %s\n", qPrintable(folder));
      return 1;
    }
  }
  return 0;
}
