#include "conversion_rows.h"

#include "grid/job_grid.h"
#include "shell/core/helpers.h"

#include <QDir>
#include <QHeaderView>

namespace sv {

void SetUpConversionColumns(grid::JobGrid& list) {
  list.Clear(true);
  list.AddColumn(QStringLiteral("Source File"), 150, grid::AlignLeft, true);
  list.AddColumn(QStringLiteral("Destination File"), 150, grid::AlignLeft, true);
  list.AddColumn(QStringLiteral("Convert"), 90, grid::AlignCenter, true);
  list.AddColumn(QStringLiteral("SourcePath"), 260, grid::AlignLeft, true);
  list.AddColumn(QStringLiteral("DesPath"), 260, grid::AlignLeft, true);
  // Compact rows, so that a page's list shows at least five of them.
  list.verticalHeader()->setMinimumSectionSize(20);
  list.verticalHeader()->setDefaultSectionSize(22);
  list.horizontalHeader()->setFixedHeight(24);
}

namespace {

void addRow(grid::JobGrid& list, const QString& source, const QString& destinationName, const QString& type,
            const QString& outputDir) {
  const int r = list.AddRow(source);
  list.SetCellText(r, 1, GetFileName(source));
  list.SetCellText(r, 2, destinationName);
  list.SetCellText(r, 3, type);
  list.SetCellForeColor(r, 3, grid::kConversionTypeColor);
  list.SetCellText(r, 4, source);
  list.SetCellText(r, 5, AddBackslash(outputDir) + destinationName);
}

}  // namespace

void creatingalltowaveplaylist(grid::JobGrid& list, const QString& source, const QString& outputDir) {
  addRow(list, source, GetFileBaseName(source) + QStringLiteral(".WAV"),
         GetFileExtension(source).toUpper() + QStringLiteral("->WAV"), outputDir);
}

void creatingwavetoallplaylist(grid::JobGrid& list, const QString& source, const QString& format,
                               const QString& outputDir) {
  addRow(list, source, GetFileBaseName(source) + QLatin1Char('.') + format, QStringLiteral("WAV->") + format,
         outputDir);
}

void MoveDestinations(grid::JobGrid& list, const QString& outputDir) {
  for (int i = 1; i <= list.Rows(); ++i)
    list.SetCellText(i, 5, AddBackslash(outputDir) + GetFileName(list.CellText(i, 5)));
}

QStringList MusicFilesIn(const QString& folder) {
  const QDir dir(folder);
  return dir.entryList(
      {QStringLiteral("*.mp3"), QStringLiteral("*.vqf"), QStringLiteral("*.ogg"), QStringLiteral("*.wma")},
      QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
}

QString FirstPickedPath(const std::string& dialogText) {
  QString text = QString::fromStdString(dialogText.substr(0, std::min<std::size_t>(dialogText.size(), 260)));
  if (const qsizetype zero = text.indexOf(QChar(0)); zero >= 0) text.truncate(zero);
  // Several names come quoted and separated by blanks; a single name keeps its blanks.
  if (text.contains(QLatin1Char('"'))) {
    if (const qsizetype next = text.indexOf(QStringLiteral("\" \"")); next >= 0) text.truncate(next);
    text.remove(QLatin1Char('"'));
  }
  return text;
}

}  // namespace sv
