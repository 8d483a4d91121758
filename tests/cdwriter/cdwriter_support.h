// Test material and harness for the CD-writer control: WAVs of known samples, tagged MP3s,
// svdecode's own decoding of them, a sandbox for the control's folders, and event capture.
#pragma once

#include "CDWriterControl.h"
#include "cd_writer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

#include <functional>
#include <memory>
#include <vector>

namespace cdwtest {

// A folder of the test's own; the disc folder, the cache and the state folder point into it
// while the sandbox lives.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  QString file(const QString& name) const { return dir_.path() + "/" + name; }
  QString discs() const { return dir_.path() + "/discs"; }
  QString log() const { return dir_.path() + "/state/sonvera/svburn.log"; }
  // Every file in the disc folder and in the cache, by name.
  QStringList discFiles() const;
  QStringList cacheFiles() const;

 private:
  QTemporaryDir dir_;
  QByteArray saved_[4];
};

// A canonical WAV whose every sample differs from its neighbours (seeded), `frames` long.
QString WriteWav(const QString& path, qint64 frames, int channels, quint32 seed, int rate = 44100,
                 int bits = 16);
// The PCM of a canonical WAV.
QByteArray WavPcm(const QString& path);
// Mono PCM with each sample on both channels.
QByteArray Stereo(const QByteArray& mono);

struct Tag {
  QByteArray title, artist, album;
};
// A tone encoded with LAME, an ID3v1 tag behind it when `tag` is given.
QString WriteMp3(const QString& path, double seconds, int channels, const Tag* tag = nullptr,
                 int rate = 44100);
// The MP3's PCM as svdecode's exported calls decode it, and its channels.
QByteArray DecodedPcm(const QString& mp3, int* channels = nullptr);

struct Seen {
  QString name;
  QVariantList args;
};

// The control as the program holds it, with its events recorded.
class Harness {
 public:
  Harness();
  sv::CDWriterControl& control() { return *control_; }
  const std::vector<Seen>& events() const { return events_; }
  // Serves the event loop until the write ends; false on a timeout.
  bool WaitForEnd(int ms = 120000);
  // Runs `action` at the first event of that name.
  void OnFirst(const QString& name, std::function<void()> action);
  // Selects the writer, adds the files and lays out the disc: the window's order.
  bool Prepare(int writer, const QStringList& files);
  bool Burn(int writer, const QStringList& files) { return Prepare(writer, files) && Start(); }
  // Starts a write of what was laid out before.
  bool Start();
  std::vector<Seen> Named(const QString& name) const;
  QString Last() const { return events_.empty() ? QString() : events_.back().name; }

 private:
  std::unique_ptr<sv::CDWriterControl> control_;
  std::vector<Seen> events_;
  QString trigger_;
  std::function<void()> action_;
};

// The typed control over given writers, its events recorded.
struct TypedHarness {
  explicit TypedHarness(std::vector<std::unique_ptr<cdw::Recorder>> writers);
  bool WaitForEnd(int ms = 120000);
  std::vector<cdw::EventId> Ids() const;
  cdw::CDWriter writer;
  std::vector<cdw::Event> events;
};

QString ReadText(const QString& path);
// Output and exit code of a program run to its end, in `folder` when given.
int RunProgram(const QString& program, const QStringList& args, QString* output, const QString& folder = {});

}  // namespace cdwtest
