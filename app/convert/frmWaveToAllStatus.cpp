#include "frmWaveToAllStatus.h"

#include "shell/core/globals.h"

namespace sv {

frmWaveToAllStatus::frmWaveToAllStatus(grid::JobGrid& list, std::function<WaveToAllOptions()> options,
                                       std::function<bool()> overwrite, QWidget* owner, Mp3EncoderCalls mp3)
    : ConversionWindow(owner, QStringLiteral("File Converting Status..."), list, std::move(overwrite)) {
  setObjectName(QStringLiteral("frmWaveToAllStatus"));
  AddWaveToCompressedSteps(steps_, std::move(options), std::move(mp3));
  Load([] { return WaveToAllOutputDir; });
}

}  // namespace sv
