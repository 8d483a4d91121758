#include "cdwriter_support.h"

#include "svdecode.h"
#include "test_media.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <stdexcept>

namespace cdwtest {
namespace {

const char* const kVariables[4] = {"SONVERA_DISC_DIR", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                                   "SONVERA_CDWRITER_SCRIPT"};

void putLe(QByteArray& b, quint32 v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

QByteArray wavHeader(qint64 dataBytes, int channels, int rate, int bits) {
  QByteArray h("RIFF");
  putLe(h, static_cast<quint32>(dataBytes + 36), 4);
  h += "WAVEfmt ";
  putLe(h, 16, 4);
  putLe(h, 1, 2);
  putLe(h, static_cast<quint32>(channels), 2);
  putLe(h, static_cast<quint32>(rate), 4);
  putLe(h, static_cast<quint32>(rate * channels * bits / 8), 4);
  putLe(h, static_cast<quint32>(channels * bits / 8), 2);
  putLe(h, static_cast<quint32>(bits), 2);
  h += "data";
  putLe(h, static_cast<quint32>(dataBytes), 4);
  return h;
}

QStringList filesIn(const QString& folder) {
  QStringList out;
  for (const QString& f :
       QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden))
    out << f;
  return out;
}

bool serveUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  return true;
}

}  // namespace

Sandbox::Sandbox() {
  for (int i = 0; i < 4; ++i) saved_[i] = qgetenv(kVariables[i]);
  qputenv("SONVERA_DISC_DIR", discs().toUtf8());
  qputenv("XDG_CACHE_HOME", (dir_.path() + "/cache").toUtf8());
  qputenv("XDG_STATE_HOME", (dir_.path() + "/state").toUtf8());
  qunsetenv("SONVERA_CDWRITER_SCRIPT");
}

Sandbox::~Sandbox() {
  for (int i = 0; i < 4; ++i) {
    if (saved_[i].isNull())
      qunsetenv(kVariables[i]);
    else
      qputenv(kVariables[i], saved_[i]);
  }
}

QStringList Sandbox::discFiles() const { return filesIn(discs()); }
QStringList Sandbox::cacheFiles() const {
  QStringList out;
  for (const QString& d : filesIn(dir_.path() + "/cache/sonvera"))
    out << d << filesIn(dir_.path() + "/cache/sonvera/" + d);
  return out;
}

QString WriteWav(const QString& path, qint64 frames, int channels, quint32 seed, int rate, int bits) {
  QByteArray pcm(frames * channels * (bits / 8), Qt::Uninitialized);
  quint32 x = seed * 2654435761u + 1;
  for (qsizetype i = 0; i < pcm.size(); ++i) {
    x = x * 1664525u + 1013904223u;
    pcm[i] = static_cast<char>(x >> 24);
  }
  media::WriteAll(path, wavHeader(pcm.size(), channels, rate, bits) + pcm);
  return path;
}

QByteArray WavPcm(const QString& path) { return media::ReadAll(path).mid(44); }

QByteArray Stereo(const QByteArray& mono) {
  QByteArray out;
  out.reserve(mono.size() * 2);
  for (qsizetype i = 0; i + 1 < mono.size(); i += 2) out.append(mono.mid(i, 2)).append(mono.mid(i, 2));
  return out;
}

QString WriteMp3(const QString& path, double seconds, int channels, const Tag* tag, int rate) {
  media::Mp3Options o;
  o.sampleRate = rate;
  o.channels = channels;
  QByteArray bytes = media::EncodeMp3(seconds, o);
  if (tag) {
    QByteArray t("TAG");
    auto field = [&](const QByteArray& f, int n) { t += f.left(n).leftJustified(n, '\0'); };
    field(tag->title, 30);
    field(tag->artist, 30);
    field(tag->album, 30);
    field("2024", 4);
    field("", 30);
    t += char(12);
    bytes += t;
  }
  media::WriteAll(path, bytes);
  return path;
}

QByteArray DecodedPcm(const QString& mp3, int* channels) {
  QTemporaryDir dir;
  const QString wav = dir.path() + "/decoded.wav";
  CreateDecoder();
  RegisterInputModule();
  RegisterOutputModule();
  if (Mp3InputOpen(QFile::encodeName(mp3).constData()) != 0 ||
      WaveOutputOpen(("wav:" + QFile::encodeName(wav)).constData()) != 0)
    throw std::runtime_error("svdecode cannot open " + mp3.toStdString());
  int r;
  while ((r = Mp3DecodePlay()) == 0 || r == SVD_E_STREAM) {
  }
  Mp3InputClose();
  WaveOutputClose();
  DeleteDecoder();
  const QByteArray bytes = media::ReadAll(wav);
  if (channels) *channels = static_cast<unsigned char>(bytes[22]);
  return bytes.mid(44);
}

Harness::Harness() : control_(std::make_unique<sv::CDWriterControl>()) {
  QObject::connect(control_.get(), &sv::CDWriterControl::Event,
                   [this](const QString& name, const QVariantList& args) {
                     events_.push_back({name, args});
                     if (action_ && name == trigger_) {
                       auto action = std::move(action_);
                       action_ = nullptr;
                       action();
                     }
                   });
}

bool Harness::WaitForEnd(int ms) {
  return serveUntil(
      [this] {
        const QString last = Last();
        return last == "WritingComplete" || last == "WritingCancelled" || last == "WriteError" ||
               last == "TrackFileError";
      },
      ms);
}

void Harness::OnFirst(const QString& name, std::function<void()> action) {
  trigger_ = name;
  action_ = std::move(action);
}

bool Harness::Prepare(int writer, const QStringList& files) {
  if (!control_->Call(28, {QVariant::fromValue<short>(static_cast<short>(writer))}).toBool()) return false;
  control_->Call(63);
  for (int i = 0; i < files.size(); ++i) {
    QVariantList args{files[i], QVariant::fromValue<short>(static_cast<short>(i + 1))};
    if (!control_->Call(67, args).toBool()) return false;
  }
  control_->Call(68);
  return true;
}

bool Harness::Start() {
  events_.clear();
  return control_->Call(34).toBool();
}

std::vector<Seen> Harness::Named(const QString& name) const {
  std::vector<Seen> out;
  for (const Seen& e : events_)
    if (e.name == name) out.push_back(e);
  return out;
}

TypedHarness::TypedHarness(std::vector<std::unique_ptr<cdw::Recorder>> writers) : writer(std::move(writers)) {
  writer.SetEventHandler([this](const cdw::Event& e) { events.push_back(e); });
}

bool TypedHarness::WaitForEnd(int ms) {
  return serveUntil([this] { return !events.empty() && cdw::IsFinal(events.back().id); }, ms);
}

std::vector<cdw::EventId> TypedHarness::Ids() const {
  std::vector<cdw::EventId> out;
  for (const auto& e : events) out.push_back(e.id);
  return out;
}

QString ReadText(const QString& path) { return QString::fromLatin1(media::ReadAll(path)); }

int RunProgram(const QString& program, const QStringList& args, QString* output, const QString& folder) {
  QProcess p;
  if (!folder.isEmpty()) p.setWorkingDirectory(folder);
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, args);
  if (!p.waitForFinished(60000)) return -1;
  if (output) *output = QString::fromLocal8Bit(p.readAll());
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

}  // namespace cdwtest
