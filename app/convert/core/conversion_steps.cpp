#include "convert/core/conversion_steps.h"

#include "convert/core/codec_steps.h"
#include "convert/core/mp3_decode_step.h"

namespace sv {

void AddMusicToWaveSteps(jobs::StepTable& table) {
  table.Add(QStringLiteral("MP3->WAV"), Mp3DecodeStep());
  table.Add(QStringLiteral("OGG->WAV"), CodecStep(OggDecodeCall()));
  table.Add(QStringLiteral("VQF->WAV"), CodecStep(VqfDecodeCall()));
  table.Add(QStringLiteral("WMA->WAV"), CodecStep(WmaDecodeCall()));
}

void AddWaveToCompressedSteps(jobs::StepTable& table, std::function<WaveToAllOptions()> options,
                              Mp3EncoderCalls mp3) {
  table.Add(QStringLiteral("WAV->MP3"), Mp3EncodeStep(options, std::move(mp3)));
  table.Add(QStringLiteral("WAV->OGG"), CodecStep(OggEncodeCall(options)));
  table.Add(QStringLiteral("WAV->VQF"), CodecStep(VqfEncodeCall(options)));
  table.Add(QStringLiteral("WAV->WMA"), CodecStep(WmaEncodeCall(options)));
}

}  // namespace sv
