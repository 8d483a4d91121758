// Rows of the conversion job lists: one per source file, five text columns.
#pragma once

#include <QString>
#include <QStringList>

namespace grid {
class JobGrid;
}

namespace sv {

// Sets up "Source File", "Destination File", "Convert", "SourcePath", "DesPath".
void SetUpConversionColumns(grid::JobGrid& list);

// Music to WAV: name.WAV in outputDir, conversion type "<EXT>->WAV".
void creatingalltowaveplaylist(grid::JobGrid& list, const QString& source, const QString& outputDir);
// WAV to format: name.<format> in outputDir, conversion type "WAV-><format>".
void creatingwavetoallplaylist(grid::JobGrid& list, const QString& source, const QString& format,
                               const QString& outputDir);

// Moves every row's destination into outputDir, keeping its file name.
void MoveDestinations(grid::JobGrid& list, const QString& outputDir);

// The music files (*.mp3, *.vqf, *.ogg, *.wma, any letter case) directly in a folder, by name.
QStringList MusicFilesIn(const QString& folder);

// The path a file dialog reports for the file under the cursor, cut to the first file
// when several are selected ("dir/"a.mp3" "b.mp3"" gives dir/a.mp3).
QString FirstPickedPath(const std::string& dialogText);

}  // namespace sv
