#include "jobs/core/job_types.h"

#include "jobs/core/cancel_flag.h"

namespace sv {

std::int16_t CancelConvert = 0;

namespace jobs {

QString FinishLine(const JobTexts& texts, int failedRows) {
  if (failedRows <= 0) return texts.finished;
  return texts.finished +
         texts.notConverted.arg(failedRows).arg(failedRows == 1 ? QString() : QStringLiteral("s"));
}

QString FinishLine(int failedRows) { return FinishLine(JobTexts{}, failedRows); }

}  // namespace jobs
}  // namespace sv
