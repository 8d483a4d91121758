#include "jobs/widgets/msgbox_questions.h"

#include "platform/msgbox.h"
#include "platform/runtime_error.h"

namespace sv::jobs {

JobQuestions::Overwrite MsgBoxQuestions::AskOverwrite(const QString& destination) {
  switch (MsgBox(destination + QStringLiteral(" existed, do you want to overwrite it?"),
                 vbYesNoCancel | vbInformation)) {
    case vbYes:
      return Overwrite::Yes;
    case vbNo:
      return Overwrite::No;
    default:
      return Overwrite::Cancel;
  }
}

bool MsgBoxQuestions::AskStop(const QString& question) {
  return MsgBox(question, vbYesNo | vbInformation) == vbYes;
}

void MsgBoxQuestions::Tell(const QString& text) { MsgBox(text, vbCritical); }

void MsgBoxQuestions::TellError(const RuntimeError& error) { MsgBox(ErrorText(error), vbCritical); }

}  // namespace sv::jobs
