// sonvera-convert: the suite's jobs from a terminal and in scripts.
#include "cli/cli_options.h"
#include "cli/convert_run.h"
#include "cli/disc_commands.h"
#include "cli/worker.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  using namespace sv::cli;
  if (argc >= 2 && std::strcmp(argv[1], kWorkerFlag) == 0) return RunWorker(argc, argv);

  QCoreApplication app(argc, argv);
  const ParseResult parsed = ParseCommandLine(argc, argv);
  if (!parsed.error.isEmpty()) {
    std::fprintf(stderr, "sonvera-convert: %s\nTry 'sonvera-convert --help' for more information.\n",
                 parsed.error.toLocal8Bit().constData());
    return kExitUsage;
  }
  const CliSettings& s = parsed.settings;
  switch (s.command) {
    case Command::Help:
      std::fputs(UsageText().toLocal8Bit().constData(), stdout);
      return kExitOk;
    case Command::Version:
      std::fputs(VersionText().toLocal8Bit().constData(), stdout);
      return kExitOk;
    case Command::ListDrives:
      return ListDrives();
    case Command::WriteDisc:
      return WriteDisc(s);
    case Command::Grab:
      return GrabTracks(s);
    case Command::Convert:
      break;
  }
  return RunConversions(s);
}
