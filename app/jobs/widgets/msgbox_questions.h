// The job questions asked with the program's message boxes (title "Sonvera Disc Suite",
// information icon for questions, critical icon for failures).
#pragma once

#include "jobs/core/job_runner.h"

namespace sv::jobs {

class MsgBoxQuestions : public JobQuestions {
 public:
  Overwrite AskOverwrite(const QString& destination) override;
  bool AskStop(const QString& question) override;
  void Tell(const QString& text) override;
  void TellError(const RuntimeError& error) override;
};

}  // namespace sv::jobs
