#include "grab_support.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>

#include <cstring>

namespace grabtest {

using namespace sv::discs;

std::uint32_t ReferenceCrc32(const std::vector<std::uint8_t>& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

ArSums ReferenceAccurateRip(const std::vector<std::uint8_t>& audio, bool firstTrack, bool lastTrack) {
  ArSums sums;
  const std::uint64_t words = audio.size() / 4;
  const std::uint64_t from = firstTrack ? 5 * 588 : 1;  // the first 5*588-1 words are left out
  const std::uint64_t to = lastTrack ? words - 5 * 588 : words;
  for (std::uint64_t i = from; i <= to; ++i) {
    std::uint32_t w;
    std::memcpy(&w, audio.data() + 4 * (i - 1), 4);  // little-endian machine
    const std::uint64_t p = std::uint64_t(w) * i;
    sums.v1 += std::uint32_t(p & 0xFFFFFFFFu);
    sums.v2 += std::uint32_t(p & 0xFFFFFFFFu) + std::uint32_t(p >> 32);
  }
  return sums;
}

QString ReferenceMusicBrainzId(int first, int last, const std::vector<int>& lbaStarts, int leadoutLba) {
  QByteArray text = QByteArray::number(first, 16).toUpper().rightJustified(2, '0') +
                    QByteArray::number(last, 16).toUpper().rightJustified(2, '0');
  for (int i = 0; i < 100; ++i) {
    int value = 0;
    if (i == 0)
      value = leadoutLba + 150;
    else if (i - 1 < static_cast<int>(lbaStarts.size()))
      value = lbaStarts[static_cast<std::size_t>(i - 1)] + 150;
    text += QByteArray::number(value, 16).toUpper().rightJustified(8, '0');
  }
  QByteArray id = QCryptographicHash::hash(text, QCryptographicHash::Sha1).toBase64();
  id.replace('+', '.').replace('/', '_').replace('=', '-');
  return QString::fromLatin1(id);
}

std::map<QString, QString> LogTrack(const QString& log, int track) {
  std::map<QString, QString> fields;
  const QString head = QStringLiteral("Track %1\n").arg(track, 2, 10, QLatin1Char('0'));
  qsizetype at = log.indexOf(head);
  if (at < 0) return fields;
  const qsizetype end = log.indexOf(QStringLiteral("\n\n"), at);
  const QStringList lines = log.mid(at + head.size(), end - at - head.size()).split(QLatin1Char('\n'));
  for (const QString& line : lines) {
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon > 0) fields[line.left(colon).trimmed()] = line.mid(colon + 1).trimmed();
  }
  return fields;
}

std::vector<std::uint8_t> ReadBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray all = f.readAll();
  return {all.begin(), all.end()};
}

WavFile ReadWav(const QString& path) {
  WavFile w;
  const std::vector<std::uint8_t> bytes = ReadBytes(path);
  if (bytes.size() < 44 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
      std::memcmp(bytes.data() + 8, "WAVE", 4) != 0 || std::memcmp(bytes.data() + 36, "data", 4) != 0)
    return w;
  auto u32 = [&](std::size_t at) {
    return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 | std::uint32_t(bytes[at + 2]) << 16 |
           std::uint32_t(bytes[at + 3]) << 24;
  };
  w.riffSize = u32(4);
  w.channels = static_cast<std::uint16_t>(bytes[22] | bytes[23] << 8);
  w.rate = u32(24);
  w.bits = static_cast<std::uint16_t>(bytes[34] | bytes[35] << 8);
  w.dataSize = u32(40);
  w.data.assign(bytes.begin() + 44, bytes.end());
  w.ok = true;
  return w;
}

ImageDisc::ImageDisc(const DiscImage& image) {
  for (const auto& drive : sv::cdreader::ListDrives())
    if (drive.path == image.sheet.string()) handle_ = sv::cdreader::Handle(drive);
  if (!handle_) return;
  sv::cdreader::ModifyCDParms(handle_.id(), SVR_CDP_MSF, 0);
  if (sv::cdreader::ReadTOC(handle_.id(), &toc_) != 1) handle_ = {};
  real_ = std::make_unique<sv::grab::SvripperDisc>(handle_.id());
}

std::int32_t ImageDisc::ReadBlock(SVR_TRACKBUF* buffer) {
  ++calls;
  failNext_ = std::find(failCalls.begin(), failCalls.end(), calls) != failCalls.end();
  if (failNext_) return 0;
  return real_->ReadBlock(buffer);
}

void GrabTest::SetUp() {
  ASSERT_TRUE(discs.isValid());
  ASSERT_TRUE(out.isValid());
  qputenv("SONVERA_DISC_DIR", discs.path().toUtf8());
}

DiscImage GrabTest::Image(const DiscSpec& spec) { return WriteCueBin(discs.path().toStdString(), spec); }

sv::grab::GrabSettings GrabTest::Settings(sv::grab::OutputKind kind, std::vector<int> tracks) const {
  sv::grab::GrabSettings s;
  s.kind = kind;
  s.outputFolder = out.path();
  s.tracks = std::move(tracks);
  return s;
}

void GrabTest::Run(const sv::grab::GrabSettings& settings, const DiscImage& image) {
  disc = std::make_unique<ImageDisc>(image);
  ASSERT_TRUE(disc->Open());
  if (beforeRun) beforeRun(*disc);
  sv::grab::GrabInfo info;
  info.program = QStringLiteral("Sonvera Disc Suite test");
  info.drive = QStringLiteral("Disc image: test");
  info.drivePath = QString::fromStdString(image.sheet.string());
  job = std::make_unique<sv::grab::GrabJob>(settings, disc->Toc(), *disc, info, encoder);
  sink.job = job.get();
  runner = std::make_unique<sv::jobs::JobRunner>(job->Rows(), job->Steps(), sink, questions,
                                                 job->Options(&stopFlag));
  runner->Load();
  prepareError = job->Prepare();
  if (prepareError.isEmpty()) runner->Run();
}

QString GrabTest::LogText() const {
  QFile f(job->LogPath());
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

}  // namespace grabtest
