// Scripted stand-in writers, for tests of what the image writer cannot show: a writer without
// buffer-underrun protection, one without known speeds, device and file errors part way, a
// write slow enough to be cancelled. They read the tracks like any writer and record nothing.
//
// The script is a JSON file:
//   {"writers": [{"address": "Scripted", "vendor": "Test", "product": "Writer",
//                 "burnProof": true, "maxSpeed": 24, "selectable": true,
//                 "disc": "empty" | "none" | "used", "capacityBlocks": 360000,
//                 "blocksPerSecond": 0,            // 0: as fast as the files are read
//                 "fail": {"track": 2, "block": 100,
//                          "writeError": 3, "deviceError": 1234, "text": "...",
//                          or "fileError": 3, "fileName": "..."}}]}
#include "recorder.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <chrono>
#include <thread>

namespace cdw {
namespace {

struct Script {
  WriterInfo info;
  bool burnProof = true, selectable = true;
  int maxSpeed = 0;
  QString disc = "empty";
  std::int64_t capacity = kEightyMinutes;
  int blocksPerSecond = 0;
  bool fails = false;
  int failTrack = 0;
  std::int64_t failBlock = 0;
  bool fileError = false;
  std::int16_t code = 0;
  std::int32_t deviceError = 0;
  std::string text;
};

class ScriptedRecorder : public Recorder {
 public:
  explicit ScriptedRecorder(Script script) : s_(std::move(script)) {}

  WriterInfo Info() const override { return s_.info; }
  bool Select() override { return s_.selectable; }
  void Release() override {}
  bool DiscLoaded() override { return s_.disc != "none"; }
  std::int32_t DiscUsedBlocks() override { return s_.disc == "used" ? 12345 : 0; }
  std::int64_t CapacityBlocks() override { return s_.capacity; }
  int MaxSpeed() override { return s_.maxSpeed; }
  bool BurnProofSupported() override { return s_.burnProof; }
  void Finish() override {}
  void Cancel() override { cancel_ = true; }

  WriteOutcome Write(const DiscPlan& plan, const WriteSettings&, WriteContext& context) override {
    cancel_ = false;
    constexpr int kChunk = 25;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kChunk) * kBlockBytes);
    const auto pause = s_.blocksPerSecond > 0
                           ? std::chrono::microseconds(1000000LL * kChunk / s_.blocksPerSecond)
                           : std::chrono::microseconds(0);
    for (std::size_t i = 0; i < plan.tracks.size(); ++i) {
      const PlannedTrack& track = plan.tracks[i];
      auto reader = context.OpenTrack(i);
      if (!reader) return WriteOutcome::File(context.FailedFile());
      context.TrackStarted(track.number, track.place.blocks);
      std::int64_t written = 0;
      while (written < track.place.blocks) {
        if (s_.fails && track.number == s_.failTrack && written >= s_.failBlock) {
          if (s_.fileError) return WriteOutcome::File({s_.code, s_.text});
          return WriteOutcome::Error(s_.code, s_.deviceError, s_.text);
        }
        const int n = static_cast<int>(std::min<std::int64_t>(kChunk, track.place.blocks - written));
        if (!reader->Read(buffer.data(), n)) return WriteOutcome::File(reader->error());
        written += n;
        context.TrackProgress(track.number, written, 50);
        if (pause.count() > 0) std::this_thread::sleep_for(pause);
        if (context.Cancelled() || cancel_) return WriteOutcome::Cancelled();
      }
      context.TrackClosing(track.number, reader->crc());
    }
    context.DiscClosing();
    return WriteOutcome::Complete();
  }

 private:
  Script s_;
  std::atomic<bool> cancel_{false};
};

}  // namespace

std::vector<std::unique_ptr<Recorder>> ScriptedRecorders(const std::string& scriptPath, std::string* error) {
  std::vector<std::unique_ptr<Recorder>> out;
  QFile file(QString::fromStdString(scriptPath));
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = "cannot be read";
    return out;
  }
  QJsonParseError parse{};
  const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
  if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
    if (error) *error = parse.errorString().toStdString();
    return out;
  }
  for (const QJsonValue& value : doc.object().value("writers").toArray()) {
    const QJsonObject w = value.toObject();
    Script s;
    s.info = {w.value("address").toString("Scripted").toStdString(),
              w.value("vendor").toString("Test").toStdString(),
              w.value("product").toString("Writer").toStdString()};
    s.burnProof = w.value("burnProof").toBool(true);
    s.selectable = w.value("selectable").toBool(true);
    s.maxSpeed = w.value("maxSpeed").toInt(0);
    s.disc = w.value("disc").toString("empty");
    s.capacity = w.value("capacityBlocks").toInteger(kEightyMinutes);
    s.blocksPerSecond = w.value("blocksPerSecond").toInt(0);
    const QJsonObject fail = w.value("fail").toObject();
    if (!fail.isEmpty()) {
      s.fails = true;
      s.failTrack = fail.value("track").toInt(1);
      s.failBlock = fail.value("block").toInteger(0);
      s.fileError = fail.contains("fileError");
      s.code = static_cast<std::int16_t>(fail.value(s.fileError ? "fileError" : "writeError").toInt());
      s.deviceError = fail.value("deviceError").toInt();
      s.text = (s.fileError ? fail.value("fileName") : fail.value("text")).toString().toStdString();
    }
    out.push_back(std::make_unique<ScriptedRecorder>(std::move(s)));
  }
  return out;
}

}  // namespace cdw
