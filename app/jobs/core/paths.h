// Paths as the jobs and the pages take them.
#pragma once

#include <QString>

namespace sv::jobs {

// True when both paths name the same existing file, however they are spelled (another
// spelling of a folder, a link). Paths are passed to the file system in its own encoding.
bool SameFile(const QString& a, const QString& b);

// An output folder as a user types it: "~" and "~/..." mean the home folder; a relative path
// is taken from the home folder, never from the program's working folder. Blanks around it
// are dropped; an empty text stays empty.
QString UserFolder(const QString& typed);

// Removes a file (not a folder) if it is there; true when none is left.
bool RemoveFile(const QString& path);

// The file system's bytes for a path, as the C libraries take it.
QByteArray NativePath(const QString& path);

}  // namespace sv::jobs
