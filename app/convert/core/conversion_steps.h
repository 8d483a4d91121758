// The step tables of the two conversion jobs: conversion type -> step. A new format joins a
// job by a line here and a step of its own; the job loop does not change.
#pragma once

#include "convert/core/mp3_encode_step.h"
#include "convert/core/wave_options.h"
#include "jobs/core/job_runner.h"

#include <functional>

namespace sv {

// "MP3->WAV" (svdecode), "OGG->WAV", "VQF->WAV", "WMA->WAV" (the codec libraries).
void AddMusicToWaveSteps(jobs::StepTable& table);

// "WAV->MP3" (svencode), "WAV->OGG", "WAV->VQF", "WAV->WMA" (the codec libraries), with the
// page's settings read when a file starts.
void AddWaveToCompressedSteps(jobs::StepTable& table, std::function<WaveToAllOptions()> options,
                              Mp3EncoderCalls mp3 = SvencodeCalls());

}  // namespace sv
