#include "shell/core/globals.h"

#include <QStandardPaths>

namespace sv {

QString LastBrowseDir;
QString DefaultMusicDir;
QString WaveToAllOutputDir;
QString AllToWaveOutputDir;
QString RipperOutputDir;
QStringList CDDrives;

QString MusicDirectory() {
  QString dir = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  if (dir.isEmpty())
    dir = QStandardPaths::writableLocation(QStandardPaths::HomeLocation) + QStringLiteral("/Music");
  return dir;
}

}  // namespace sv
