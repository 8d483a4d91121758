// The last status line of a conversion job. Per-row failure texts are replaced by it, so
// it says how many files were not converted: a failing last row must not read as success.
#pragma once

#include <QString>

namespace sv {

inline QString FinishLine(int failedFiles) {
  const QString done = QStringLiteral("Finish Converting!");
  if (failedFiles <= 0) return done;
  return done + QStringLiteral(" %1 file%2 not converted.")
                    .arg(failedFiles)
                    .arg(failedFiles == 1 ? QString() : QStringLiteral("s"));
}

}  // namespace sv
