// A worker process of sonvera-convert: converts the files the main process hands it, one after
// the other, through the very steps of the program's conversion jobs, and reports each
// file's progress and result back on its standard output.
//
// Why processes: svdecode holds one decoder per process, the codec libraries' progress
// callbacks carry no pointer of the caller (they reach the one active job of the process) and
// their stop flag is the process-wide CancelConvert. In a process of its own each file has
// all of that to itself, so the steps run unchanged and the files come out byte for byte as
// the program's jobs make them; a library that crashes on a damaged file takes one worker
// with it, not the run.
//
// Protocol. In: per file "type\0source\0destination\0". Out: lines "P <percent>" (the file's
// progress when its whole percent changes), "N <text>" (a notice the job would show in a
// box), "R <D|F|S> <reason>" (done, failed, stopped). SIGINT raises the stop flag: the file
// in work stops, its partial output is removed, and the worker ends.
#pragma once

#include "convert/core/wave_options.h"

#include <QString>

#include <vector>

namespace sv::cli {

inline constexpr const char* kWorkerFlag = "--worker";

// The worker's arguments after kWorkerFlag: the page's list positions.
std::vector<QString> WorkerArguments(const WaveToAllOptions& options);
// Runs the worker on stdin/stdout; gives its exit status.
int RunWorker(int argc, char** argv);

}  // namespace sv::cli
