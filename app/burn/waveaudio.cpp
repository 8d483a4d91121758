#include "waveaudio.h"

#include "platform/mci.h"
#include "platform/mci_file_devices.h"
#include "platform/rounding.h"
#include "shell/core/helpers.h"

#include <QTime>

#include <random>

namespace {

// The reply buffer of a status query, in characters with its terminating zero.
constexpr int kReplyBuffer = 255;

QString deviceType(const QString& path) {
  const QString ext = path.right(3).toUpper();
  if (ext == QLatin1String("WAV")) return QStringLiteral("Waveaudio");
  if (ext == QLatin1String("AVI")) return QStringLiteral("AviVideo");
  if (ext == QLatin1String("MID")) return QStringLiteral("Sequencer");
  if (ext == QLatin1String("MP3")) return QStringLiteral("MPegVideo");
  return {};
}

// The reply's leading number; 0 when it has none.
float leadingNumber(const QString& reply) {
  qsizetype n = 0;
  while (n < reply.size() && (reply[n].isDigit() || reply[n] == QLatin1Char('.') ||
                              (n == 0 && (reply[n] == QLatin1Char('-') || reply[n] == QLatin1Char('+')))))
    ++n;
  bool ok = false;
  const float value = reply.left(n).toFloat(&ok);
  return ok ? value : 0.0f;
}

}  // namespace

waveaudio::waveaudio() { sv::mci::RegisterFileDevices(); }

waveaudio::~waveaudio() { mmClose(); }

QString waveaudio::OpenCommand(const QString& path, const QString& alias) {
  const QString type = deviceType(path);
  if (type.isEmpty()) return {};
  // Quoted where it holds blanks or quotes, so no name can add words to the command.
  return QStringLiteral("Open ") + sv::mci::QuoteName(path) + QStringLiteral(" ALIAS ") + alias +
         QStringLiteral(" TYPE ") + type + QStringLiteral(" wait");
}

void waveaudio::mmOpen(const QString& sTheFile) {
  if (!alias_.isEmpty()) mmClose();
  if (deviceType(sTheFile).isEmpty()) return;
  // Extension, minute, second and a random number; drawn again while that alias is taken.
  std::mt19937 random(static_cast<unsigned>(QTime::currentTime().msecsSinceStartOfDay()));
  std::uniform_int_distribution<int> draw(1, 1000);
  const QTime now = QTime::currentTime();
  QString alias;
  do {
    alias = sTheFile.right(3) + QString::number(now.minute()) + QString::number(now.second()) +
            QString::number(draw(random));
  } while (sv::mci::IsOpen(alias));
  alias_ = alias;
  fileName_ = sTheFile;
  sv::mciSendString(OpenCommand(sTheFile, alias_));
}

void waveaudio::mmClose() {
  if (!alias_.isEmpty()) sv::mciSendString(QStringLiteral("Close ") + alias_);
  alias_.clear();
  fileName_.clear();
}

void waveaudio::mmPlay() {
  if (alias_.isEmpty()) return;
  sv::mciSendString(QStringLiteral("Play ") + alias_ + (wait_ ? QStringLiteral(" wait") : QString()));
}

void waveaudio::mmPause() {
  if (!alias_.isEmpty()) sv::mciSendString(QStringLiteral("Pause ") + alias_);
}

void waveaudio::mmStop() {
  if (!alias_.isEmpty()) sv::mciSendString(QStringLiteral("Stop ") + alias_);
}

void waveaudio::mmSeek(float nPosition) {
  sv::mciSendString(QStringLiteral("seek ") + alias_ + QStringLiteral(" to ") +
                    QString::number(static_cast<double>(nPosition), 'g', 7));
}

QString waveaudio::query(const QString& item) const {
  if (alias_.isEmpty()) return {};
  QString reply;
  sv::mciSendString(QStringLiteral("Status ") + alias_ + QLatin1Char(' ') + item, &reply, kReplyBuffer);
  return reply.left(reply.indexOf(QChar(0)) < 0 ? reply.size() : reply.indexOf(QChar(0)));
}

float waveaudio::Length() const { return leadingNumber(query(QStringLiteral("length"))); }

QString waveaudio::LengthInTimeCode() const { return sv::FormatSeconds(sv::rnd(LengthInSecond())); }

float waveaudio::Position() const { return leadingNumber(query(QStringLiteral("position"))); }

QString waveaudio::Status() const { return query(QStringLiteral("mode")); }
