#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include "Artwork.h"
#include "frmmain.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("sonvera"));
  QApplication::setApplicationVersion(QStringLiteral(SONVERA_VERSION_TEXT));
  // The menu entry and the task bar show the same emblem.
  QGuiApplication::setDesktopFileName(QStringLiteral("sonvera"));
  QIcon icon;
  for (int size : {32, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(sv::art::LogoImage(size)));
  QApplication::setWindowIcon(icon);
  frmmain window;
  window.show();
  return app.exec();
}
