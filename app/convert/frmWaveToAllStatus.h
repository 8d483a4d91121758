// The WAV-to-compressed status window: WAV rows of the page's job list to MP3 (svencode),
// OGG, VQF and WMA files in WaveToAllOutputDir, with the page's encoder settings.
#pragma once

#include "conversion_window.h"
#include "convert/core/conversion_steps.h"

#include <functional>

namespace sv {

class frmWaveToAllStatus : public ConversionWindow {
  Q_OBJECT

 public:
  // `list` is the page's job list; `options` and `overwrite` read the page's option lists
  // and its overwrite box when the job needs them.
  frmWaveToAllStatus(grid::JobGrid& list, std::function<WaveToAllOptions()> options,
                     std::function<bool()> overwrite, QWidget* owner = nullptr,
                     Mp3EncoderCalls mp3 = SvencodeCalls());
};

}  // namespace sv
