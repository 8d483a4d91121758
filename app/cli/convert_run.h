// A conversion run: the inputs spread over worker processes (worker.h), -j at once, with the
// progress view, Ctrl-C, the error lines and the summary.
#pragma once

#include "cli/cli_options.h"

namespace sv::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// Converts everything the settings name; gives the exit status.
int RunConversions(const CliSettings& settings);

// SIGINT and SIGTERM wake the run through a pipe instead of ending the program; the second one
// ends the workers at once. Installed by RunConversions; the disc commands use it too.
class InterruptPipe {
 public:
  InterruptPipe();
  ~InterruptPipe();
  InterruptPipe(const InterruptPipe&) = delete;
  InterruptPipe& operator=(const InterruptPipe&) = delete;
  int fd() const;
  // How many interrupts came so far (reads what is waiting in the pipe).
  int Count();

 private:
  int count_ = 0;
};

}  // namespace sv::cli
