#include "cli/input_files.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <set>

namespace sv::cli {
namespace {

QStringList sourceExtensions(const QString& format) {
  if (format == QLatin1String("wav")) return {"mp3", "ogg", "wma", "vqf"};
  return {"wav"};
}

QString sourceKinds(const QString& format) {
  return format == QLatin1String("wav") ? QStringLiteral("an MP3, OGG, WMA or VQF file")
                                        : QStringLiteral("a WAV file");
}

class Collector {
 public:
  explicit Collector(const CliSettings& s)
      : s_(s), extensions_(sourceExtensions(s.format)), output_(absolute(s.outputDir)) {}

  void Add(const QString& typed) {
    const QFileInfo info(typed);
    if (info.isDir()) return addFolder(info.absoluteFilePath());
    if (!info.exists()) return problem(typed, QStringLiteral("no such file or folder"));
    if (!extensions_.contains(info.suffix().toLower()))
      return problem(typed, QStringLiteral("not %1").arg(sourceKinds(s_.format)));
    addFile(info, QString());
  }

  InputList Take() { return std::move(list_); }

 private:
  static QString absolute(const QString& path) {
    return path.isEmpty() ? path : QDir::cleanPath(QDir::current().absoluteFilePath(path));
  }

  void problem(const QString& path, const QString& reason) { list_.problems.push_back({path, reason}); }

  void addFolder(const QString& folder) {
    QStringList found;
    const auto flags = s_.recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, flags);
    while (it.hasNext()) {
      const QString path = it.next();
      if (extensions_.contains(QFileInfo(path).suffix().toLower())) found << path;
    }
    // A steady order: the same run converts and reports in the same order.
    std::sort(found.begin(), found.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    const QDir base(folder);
    for (const QString& path : found) {
      const QString sub = QFileInfo(base.relativeFilePath(path)).path();
      addFile(QFileInfo(path), sub == QLatin1String(".") ? QString() : sub);
    }
  }

  void addFile(const QFileInfo& info, const QString& subfolder) {
    const QString source = info.absoluteFilePath();
    const QString kind = info.suffix().toUpper();
    FileJob job;
    job.type = s_.format == QLatin1String("wav") ? kind + QStringLiteral("->WAV")
                                                 : QStringLiteral("WAV->") + s_.format.toUpper();
    QString folder = output_.isEmpty() ? info.absolutePath() : output_;
    if (!output_.isEmpty() && !subfolder.isEmpty()) folder += QLatin1Char('/') + subfolder;
    job.destination =
        QDir::cleanPath(folder + QLatin1Char('/') + info.completeBaseName() + QLatin1Char('.') + s_.format);
    job.source = source;
    job.bytes = info.size();
    if (!destinations_.insert(job.destination).second)
      return problem(source, QStringLiteral("another input is converted to %1 too").arg(job.destination));
    list_.jobs.push_back(std::move(job));
  }

  const CliSettings& s_;
  QStringList extensions_;
  QString output_;
  std::set<QString> destinations_;
  InputList list_;
};

}  // namespace

InputList CollectInputs(const CliSettings& settings) {
  Collector collector(settings);
  for (const QString& input : settings.inputs) collector.Add(input);
  return collector.Take();
}

}  // namespace sv::cli
