#include "frmAllToWaveStatus.h"

#include "convert/core/conversion_steps.h"
#include "shell/core/globals.h"

#include <QCheckBox>
#include <QPointer>

namespace sv {

frmAllToWaveStatus::frmAllToWaveStatus(QWidget* owner, grid::JobGrid* gridAlltoWave,
                                       QCheckBox* checkAllToWaveOverwrite)
    : ConversionWindow(
          owner, QStringLiteral("Convert music file to wave"), *gridAlltoWave,
          [box = QPointer<QCheckBox>(checkAllToWaveOverwrite)] { return box && box->isChecked(); }) {
  setObjectName(QStringLiteral("frmAllToWaveStatus"));
  AddMusicToWaveSteps(steps_);
  Load([] { return AllToWaveOutputDir; });
}

}  // namespace sv
