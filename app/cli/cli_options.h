// What sonvera-convert is asked to do, read from its command line (GNU long and short options).
#pragma once

#include "convert/core/wave_options.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace sv::cli {

enum class Command { Convert, ListDrives, WriteDisc, Grab, Help, Version };

// How progress is shown: auto is a live display on a terminal and plain lines otherwise.
enum class ProgressStyle { Auto, Live, Plain, Quiet };

struct CliSettings {
  Command command = Command::Convert;
  // "wav", "mp3", "ogg", "wma" or "vqf": what every input becomes.
  QString format;
  // The page's list positions, set from the options by name or by value.
  WaveToAllOptions wave;
  QStringList inputs;
  QString outputDir;  // empty: beside each source
  bool recursive = false;
  bool overwrite = false;
  int jobs = 0;  // 0: one per processor core
  ProgressStyle progress = ProgressStyle::Auto;
  // Discs.
  QString drive;      // --grab: a drive's number (from 1, as --list-drives shows) or its path
  QString tracks;     // --tracks 1-3,5; empty: every audio track
  QString writer;     // --writer: "image" (default) or a writer's address or number
  QString imageName;  // --image-name
  bool testWrite = false;
};

struct ParseResult {
  CliSettings settings;
  QString error;  // not empty: a usage error (exit status 2)
};

ParseResult ParseCommandLine(int argc, char** argv);

// A page's list position for what a user typed: an item's text in any case and with or without
// blanks ("Join Stereo", "joinstereo", "128 Kbps"), an unambiguous start of one ("hi" is not,
// "stud" is), or an item's value ("128", "44100", quality "1000"). Nothing when none fits.
std::optional<int> ListPosition(const QStringList& items, const std::vector<int>& values,
                                const QString& typed);

// Track numbers from "1-3,5" (ascending, each once); nothing for a malformed text.
std::optional<std::vector<int>> ParseTrackList(const QString& text);

QString UsageText();
QString VersionText();

}  // namespace sv::cli
