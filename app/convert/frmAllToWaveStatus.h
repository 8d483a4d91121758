// The music-to-WAV status window: MP3 (svdecode), OGG, VQF and WMA rows of the page's job
// list to WAV files in AllToWaveOutputDir.
#pragma once

#include "conversion_window.h"

class QCheckBox;

namespace sv {

class frmAllToWaveStatus : public ConversionWindow {
  Q_OBJECT

 public:
  // The job list and the overwrite box stay the page's; both must outlive the window.
  frmAllToWaveStatus(QWidget* owner, grid::JobGrid* gridAlltoWave, QCheckBox* checkAllToWaveOverwrite);
};

}  // namespace sv
