// The files a conversion run works on: the files named, and the matching files of the
// folders named (their subfolders too with -r), each with its conversion type and destination.
#pragma once

#include "cli/cli_options.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace sv::cli {

struct FileJob {
  QString type;  // "WAV->MP3", "OGG->WAV", ...: the step that converts it
  QString source;
  QString destination;
  std::int64_t bytes = 0;  // the source's size, its weight on the total bar
};

// An input that is not converted, and why.
struct InputProblem {
  QString path;
  QString reason;
};

struct InputList {
  std::vector<FileJob> jobs;
  std::vector<InputProblem> problems;
};

// Destinations: "<name>.<format>" in the output folder (under the same subfolder as below the
// folder named, with -r), or beside the source without one. Two inputs meeting in one
// destination: the later is a problem.
InputList CollectInputs(const CliSettings& settings);

}  // namespace sv::cli
