// Running sonvera-convert as a user would, and reading what it left.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace clitest {

struct CliResult {
  int status = -1;
  QString out;  // standard output
  QString err;  // standard error
};

// Runs the binary with `args` in `folder`, with the environment's "NAME=value" additions, and
// waits (at most two minutes).
CliResult RunCli(const QStringList& args, const QString& folder = QString(), const QStringList& env = {});

// A folder of its own per test.
class Scratch {
 public:
  Scratch();
  QString path(const QString& name) const;
  // A tone WAV of `seconds` (16-bit stereo 44.1 kHz); made folders included.
  QString Wav(const QString& name, double seconds);
  QString File(const QString& name, const QByteArray& bytes);
  const QString& root() const { return root_; }

 private:
  QTemporaryDir dir_;
  QString root_;
};

// An OGG file with each page's stream serial number and checksum blanked: two encodes of the
// same audio differ only there (the serial is chosen at random).
QByteArray OggWithoutSerials(const QByteArray& ogg);

}  // namespace clitest
