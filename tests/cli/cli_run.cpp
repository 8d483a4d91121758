#include "cli_run.h"

#include "test_media.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace clitest {

CliResult RunCli(const QStringList& args, const QString& folder, const QStringList& env) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const QString& pair : env) environment.insert(pair.section('=', 0, 0), pair.section('=', 1));
  process.setProcessEnvironment(environment);
  if (!folder.isEmpty()) process.setWorkingDirectory(folder);
  process.start(QStringLiteral(SONVERA_CONVERT), args);
  CliResult result;
  if (!process.waitForFinished(120000)) {
    process.kill();
    process.waitForFinished();
    return result;
  }
  result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
  result.err = QString::fromLocal8Bit(process.readAllStandardError());
  return result;
}

Scratch::Scratch() : root_(dir_.path()) {}

QString Scratch::path(const QString& name) const { return root_ + QLatin1Char('/') + name; }

QString Scratch::Wav(const QString& name, double seconds) {
  const QString p = path(name);
  QDir().mkpath(QFileInfo(p).absolutePath());
  media::WriteWav(p, seconds);
  return p;
}

QString Scratch::File(const QString& name, const QByteArray& bytes) {
  const QString p = path(name);
  QDir().mkpath(QFileInfo(p).absolutePath());
  media::WriteAll(p, bytes);
  return p;
}

QByteArray OggWithoutSerials(const QByteArray& ogg) {
  QByteArray out = ogg;
  for (qsizetype at = 0; at + 27 <= out.size();) {
    if (out.mid(at, 4) != "OggS") return {};  // not a page where one must start
    const int segments = static_cast<unsigned char>(out[at + 26]);
    if (at + 27 + segments > out.size()) return {};
    qsizetype body = 0;
    for (int i = 0; i < segments; ++i) body += static_cast<unsigned char>(out[at + 27 + i]);
    for (int i = 14; i < 18; ++i) out[at + i] = 0;  // serial number
    for (int i = 22; i < 26; ++i) out[at + i] = 0;  // checksum
    at += 27 + segments + body;
  }
  return out;
}

}  // namespace clitest
