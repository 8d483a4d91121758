#include <QApplication>

#include "frmmain.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("sonvera"));
  QApplication::setApplicationVersion(QStringLiteral(SONVERA_VERSION_TEXT));
  frmmain window;
  window.show();
  return app.exec();
}
