#include "cli/cli_options.h"

#include <getopt.h>

#include <QRegularExpression>

#include <algorithm>
#include <set>
#include <thread>

namespace sv::cli {
namespace {

// Lower case, without blanks, hyphens and underscores: "Join Stereo" and "join-stereo" meet.
QString folded(const QString& text) {
  QString out;
  for (const QChar c : text)
    if (!c.isSpace() && c != QLatin1Char('-') && c != QLatin1Char('_')) out += c.toLower();
  return out;
}

// The number an item starts with ("128 Kbps" -> 128), or -1.
int leadingNumber(const QString& item) {
  static const QRegularExpression number(QStringLiteral("^\\s*(\\d+)"));
  const auto match = number.match(item);
  return match.hasMatch() ? match.captured(1).toInt() : -1;
}

std::vector<int> leadingNumbers(const QStringList& items) {
  std::vector<int> out;
  for (const QString& item : items) out.push_back(leadingNumber(item));
  return out;
}

template <typename Fn>
std::vector<int> valuesOf(int count, Fn valueAt) {
  std::vector<int> out;
  for (int i = 0; i < count; ++i) out.push_back(static_cast<int>(valueAt(i)));
  return out;
}

// Words users type for the channel modes besides the page's own.
QString channelAlias(const QString& typed) {
  const QString f = folded(typed);
  if (f == QLatin1String("joint") || f == QLatin1String("jointstereo") || f == QLatin1String("js"))
    return QStringLiteral("Join Stereo");
  if (f == QLatin1String("dual")) return QStringLiteral("Dual Channel");
  return typed;
}

struct RawSettings {
  QString rate, bitrate, mode, quality, level;
};

QString choices(const QStringList& items) { return items.join(QStringLiteral(", ")); }

// Applies what was typed for the chosen format; the error text, or empty.
QString resolveSettings(const RawSettings& raw, CliSettings& s) {
  const bool mp3 = s.format == QLatin1String("mp3");
  auto need = [&](const QString& value, const char* option, bool allowed, const char* formats) -> QString {
    if (value.isEmpty() || allowed) return {};
    return QStringLiteral("%1 applies to %2 only").arg(QLatin1String(option), QLatin1String(formats));
  };
  for (const QString& e :
       {need(raw.rate, "--rate", mp3, "-f mp3"), need(raw.mode, "--mode", mp3, "-f mp3"),
        need(raw.quality, "--quality", mp3, "-f mp3"),
        need(raw.level, "--level", s.format == QLatin1String("ogg"), "-f ogg"),
        need(raw.bitrate, "--bitrate", s.format != QLatin1String("wav"), "-f mp3, ogg, wma or vqf")})
    if (!e.isEmpty()) return e;

  auto pick = [](const QString& typed, const QStringList& items, const std::vector<int>& values,
                 int& position, const char* what) -> QString {
    if (typed.isEmpty()) return {};
    const auto found = ListPosition(items, values, typed);
    if (!found)
      return QStringLiteral("unknown %1 '%2' (one of: %3)").arg(QLatin1String(what), typed, choices(items));
    position = *found;
    return {};
  };
  QString error;
  if (mp3) {
    const QStringList rates = Mp3SampleRateItems(), bitrates = Mp3BitrateItems(), modes = Mp3ChannelItems(),
                      qualities = Mp3QualityItems();
    error =
        pick(raw.rate, rates, valuesOf(rates.size(), Mp3SampleRateAt), s.wave.Mp3SampleRate, "sample rate");
    if (error.isEmpty())
      error =
          pick(raw.bitrate, bitrates, valuesOf(bitrates.size(), Mp3BitrateAt), s.wave.Mp3Bitrate, "bit rate");
    if (error.isEmpty())
      error = pick(channelAlias(raw.mode), modes, valuesOf(modes.size(), Mp3ChannelModeAt), s.wave.Mp3Channel,
                   "channel mode");
    if (error.isEmpty())
      error =
          pick(raw.quality, qualities, valuesOf(qualities.size(), Mp3PresetAt), s.wave.Mp3Quality, "quality");
  } else if (s.format == QLatin1String("ogg")) {
    const QStringList items = OggBitrateItems();
    error = pick(raw.bitrate, items, leadingNumbers(items), s.wave.OggBitrate, "OGG bit rate");
    if (error.isEmpty() && !raw.level.isEmpty()) {
      // The levels the page can give, by value only.
      const auto levels = valuesOf(items.size(), OggLevelAt);
      const auto it = std::find(levels.begin(), levels.end(), raw.level.toInt());
      bool number = false;
      raw.level.toInt(&number);
      if (!number || it == levels.end())
        return QStringLiteral("unknown OGG level '%1' (one of: 0, 1, 2, 4, 5, 6, 8)").arg(raw.level);
      s.wave.OggBitrate = static_cast<int>(it - levels.begin());
    }
  } else if (s.format == QLatin1String("wma")) {
    const QStringList items = WmaBitrateItems();
    error = pick(raw.bitrate, items, leadingNumbers(items), s.wave.WmaBitrate, "WMA bit rate");
  } else if (s.format == QLatin1String("vqf")) {
    const QStringList items = VqfBitrateItems();
    error = pick(raw.bitrate, items, leadingNumbers(items), s.wave.VqfBitrate, "VQF bit rate");
  }
  return error;
}

enum LongOnly { kRate = 1000, kLevel, kProgress, kImageName, kTestWrite };

}  // namespace

std::optional<int> ListPosition(const QStringList& items, const std::vector<int>& values,
                                const QString& typed) {
  const QString want = folded(typed);
  if (want.isEmpty()) return std::nullopt;
  for (int i = 0; i < items.size(); ++i)
    if (folded(items[i]) == want) return i;
  bool number = false;
  const int value = typed.trimmed().toInt(&number);
  if (number) {
    for (std::size_t i = 0; i < values.size() && static_cast<qsizetype>(i) < items.size(); ++i)
      if (values[i] == value) return static_cast<int>(i);
    return std::nullopt;
  }
  std::optional<int> start;
  for (int i = 0; i < items.size(); ++i) {
    if (!folded(items[i]).startsWith(want)) continue;
    if (start) return std::nullopt;  // more than one begins so
    start = i;
  }
  return start;
}

std::optional<std::vector<int>> ParseTrackList(const QString& text) {
  std::set<int> tracks;
  static const QRegularExpression part(QStringLiteral("^\\s*(\\d{1,2})\\s*(?:-\\s*(\\d{1,2})\\s*)?$"));
  for (const QString& piece : text.split(QLatin1Char(','))) {
    const auto match = part.match(piece);
    if (!match.hasMatch()) return std::nullopt;
    const int first = match.captured(1).toInt();
    const int last = match.captured(2).isEmpty() ? first : match.captured(2).toInt();
    if (first < 1 || last < first || last > 99) return std::nullopt;
    for (int t = first; t <= last; ++t) tracks.insert(t);
  }
  return std::vector<int>(tracks.begin(), tracks.end());
}

ParseResult ParseCommandLine(int argc, char** argv) {
  static const option kOptions[] = {
      {"format", required_argument, nullptr, 'f'},
      {"output", required_argument, nullptr, 'o'},
      {"recursive", no_argument, nullptr, 'r'},
      {"overwrite", no_argument, nullptr, 'y'},
      {"no-overwrite", no_argument, nullptr, 'n'},
      {"jobs", required_argument, nullptr, 'j'},
      {"rate", required_argument, nullptr, kRate},
      {"bitrate", required_argument, nullptr, 'b'},
      {"mode", required_argument, nullptr, 'm'},
      {"quality", required_argument, nullptr, 'Q'},
      {"level", required_argument, nullptr, kLevel},
      {"progress", required_argument, nullptr, kProgress},
      {"quiet", no_argument, nullptr, 'q'},
      {"list-drives", no_argument, nullptr, 'L'},
      {"write-disc", no_argument, nullptr, 'W'},
      {"writer", required_argument, nullptr, 'w'},
      {"image-name", required_argument, nullptr, kImageName},
      {"test-write", no_argument, nullptr, kTestWrite},
      {"grab", required_argument, nullptr, 'g'},
      {"tracks", required_argument, nullptr, 't'},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},
      {nullptr, 0, nullptr, 0},
  };
  ParseResult result;
  CliSettings& s = result.settings;
  RawSettings raw;
  auto arg = [] { return QString::fromLocal8Bit(optarg); };
  optind = 0;  // a fresh scan (also for the tests, which parse many times)
  opterr = 0;  // our own message
  std::set<Command> commands;
  for (;;) {
    int index = 0;
    const int c = getopt_long(argc, argv, ":f:o:ryj:b:m:Q:qLWw:g:t:hVn", kOptions, &index);
    if (c == -1) break;
    switch (c) {
      case 'f':
        s.format = arg().toLower();
        break;
      case 'o':
        s.outputDir = arg();
        break;
      case 'r':
        s.recursive = true;
        break;
      case 'y':
        s.overwrite = true;
        break;
      case 'n':
        s.overwrite = false;
        break;
      case 'j': {
        bool ok = false;
        s.jobs = arg().toInt(&ok);
        if (!ok || s.jobs < 1 || s.jobs > 256) {
          result.error =
              QStringLiteral("-j wants a number of files at once from 1 to 256, not '%1'").arg(arg());
          return result;
        }
        break;
      }
      case kRate:
        raw.rate = arg();
        break;
      case 'b':
        raw.bitrate = arg();
        break;
      case 'm':
        raw.mode = arg();
        break;
      case 'Q':
        raw.quality = arg();
        break;
      case kLevel:
        raw.level = arg();
        break;
      case kProgress: {
        const QString p = arg();
        if (p == QLatin1String("auto"))
          s.progress = ProgressStyle::Auto;
        else if (p == QLatin1String("live"))
          s.progress = ProgressStyle::Live;
        else if (p == QLatin1String("plain"))
          s.progress = ProgressStyle::Plain;
        else if (p == QLatin1String("none"))
          s.progress = ProgressStyle::Quiet;
        else {
          result.error = QStringLiteral("--progress wants auto, live, plain or none, not '%1'").arg(p);
          return result;
        }
        break;
      }
      case 'q':
        s.progress = ProgressStyle::Quiet;
        break;
      case 'L':
        commands.insert(Command::ListDrives);
        break;
      case 'W':
        commands.insert(Command::WriteDisc);
        break;
      case 'w':
        s.writer = arg();
        break;
      case kImageName:
        s.imageName = arg();
        break;
      case kTestWrite:
        s.testWrite = true;
        break;
      case 'g':
        commands.insert(Command::Grab);
        s.drive = arg();
        break;
      case 't':
        s.tracks = arg();
        break;
      case 'h':
        s.command = Command::Help;
        return result;
      case 'V':
        s.command = Command::Version;
        return result;
      case ':':
        result.error =
            QStringLiteral("option %1 needs a value").arg(QString::fromLocal8Bit(argv[optind - 1]));
        return result;
      case '?':
      default: {
        const QString what = optopt > 0 && optopt < 128 ? QStringLiteral("-") + QChar(optopt)
                                                        : QString::fromLocal8Bit(argv[optind - 1]);
        result.error = QStringLiteral("unknown option %1").arg(what);
        return result;
      }
    }
  }
  for (int i = optind; i < argc; ++i) s.inputs << QString::fromLocal8Bit(argv[i]);

  if (commands.size() > 1) {
    result.error = QStringLiteral("--list-drives, --write-disc and --grab go one at a time");
    return result;
  }
  if (!commands.empty()) s.command = *commands.begin();
  if (s.jobs == 0) s.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  if (!s.tracks.isEmpty() && !ParseTrackList(s.tracks)) {
    result.error = QStringLiteral("--tracks wants numbers and ranges such as 1-3,5, not '%1'").arg(s.tracks);
    return result;
  }

  switch (s.command) {
    case Command::Convert: {
      static const QStringList kFormats{"wav", "mp3", "ogg", "wma", "vqf"};
      if (s.format.isEmpty())
        result.error = QStringLiteral("say what to make with -f wav, mp3, ogg, wma or vqf");
      else if (!kFormats.contains(s.format))
        result.error = QStringLiteral("unknown format '%1' (one of: wav, mp3, ogg, wma, vqf)").arg(s.format);
      else if (s.inputs.isEmpty())
        result.error = QStringLiteral("no files or folders given");
      else
        result.error = resolveSettings(raw, s);
      break;
    }
    case Command::Grab:
      if (s.format.isEmpty()) s.format = QStringLiteral("wav");
      if (s.format != QLatin1String("wav") && s.format != QLatin1String("mp3"))
        result.error = QStringLiteral("tracks are grabbed to -f wav or -f mp3");
      else
        result.error = resolveSettings(raw, s);
      break;
    case Command::WriteDisc:
      if (s.inputs.isEmpty()) result.error = QStringLiteral("--write-disc wants WAV or MP3 files");
      break;
    default:
      break;
  }
  return result;
}

QString VersionText() {
  return QStringLiteral("sonvera-convert (Sonvera Disc Suite) %1\n").arg(QStringLiteral(SONVERA_VERSION));
}

QString UsageText() {
  return QStringLiteral(
      "Usage: sonvera-convert -f FORMAT [OPTION]... FILE|FOLDER...\n"
      "       sonvera-convert --list-drives\n"
      "       sonvera-convert --grab DRIVE [--tracks LIST] [-f wav|mp3] [-o FOLDER]\n"
      "       sonvera-convert --write-disc [--writer WRITER] FILE...\n"
      "Convert WAV files to MP3, OGG, WMA or VQF, and MP3, OGG, WMA or VQF files to WAV,\n"
      "several at once; grab audio CD tracks; write WAV and MP3 files to a disc or a disc image.\n"
      "\n"
      "Converting:\n"
      "  -f, --format=FORMAT   what to make: wav (from MP3, OGG, WMA, VQF), or mp3, ogg,\n"
      "                        wma, vqf (from WAV)\n"
      "  -o, --output=FOLDER   write there (made when missing); default: beside each source\n"
      "  -r, --recursive       look into the folders' subfolders too (their layout is kept\n"
      "                        under the output folder)\n"
      "  -y, --overwrite       replace existing files\n"
      "  -n, --no-overwrite    leave existing files and skip them (the default)\n"
      "  -j, --jobs=N          convert N files at once (default: one per processor core)\n"
      "\n"
      "Settings (by the names the program's pages show, or by value):\n"
      "      --rate=HZ         MP3 sample rate: 48000, 44100 (default), 32000\n"
      "  -b, --bitrate=KBPS    MP3: 32 to 320 (default 128); OGG: 64, 80, 96 (default), 128,\n"
      "                        160, 192, 256; WMA: 64, 96 (default), 128; VQF: 80, 96 (default)\n"
      "  -m, --mode=MODE       MP3 channels: stereo, joint (default), dual, mono\n"
      "  -Q, --quality=Q       MP3 quality: low, normal (default), high, voice, phone, radio,\n"
      "                        tape, hifi, cd, studio, or the encoder's preset number\n"
      "      --level=N         OGG quality level instead of --bitrate: 0, 1, 2, 4, 5, 6, 8\n"
      "\n"
      "Discs:\n"
      "  -L, --list-drives     list the CD drives, the disc images and the writers\n"
      "  -g, --grab=DRIVE      grab tracks of a drive or image (its number in --list-drives,\n"
      "                        or its path) to track01.wav ... (or .mp3 with -f mp3)\n"
      "  -t, --tracks=LIST     tracks to grab, such as 1-3,5 (default: every audio track)\n"
      "  -W, --write-disc      write the WAV and MP3 files given, in order, as an audio disc\n"
      "                        (with CD-Text from their ID3v1 tags)\n"
      "  -w, --writer=WRITER   image (default: a CUE/BIN image in the disc folder), or a\n"
      "                        writer's number or address from --list-drives\n"
      "      --image-name=NAME name of the image (default: after the date and time)\n"
      "      --test-write      go through every step of a write without recording\n"
      "\n"
      "Output:\n"
      "      --progress=STYLE  auto (default: live on a terminal, else one line per file),\n"
      "                        live, plain, none\n"
      "  -q, --quiet           only errors and the summary\n"
      "  -h, --help            show this help and exit\n"
      "  -V, --version         show the version and exit\n"
      "\n"
      "Examples:\n"
      "  sonvera-convert -f ogg -o ~/Music/ogg ~/Music/wav\n"
      "  sonvera-convert -f mp3 -b 192 -m stereo -r -o /srv/mp3 /srv/wav\n"
      "  sonvera-convert -f wav -j 2 *.mp3\n"
      "\n"
      "Ctrl-C stops the running files (their partial outputs are removed) and lists what was done.\n"
      "Exit status: 0 all converted, 1 some files failed, 2 usage error, 130 stopped by Ctrl-C.\n");
}

}  // namespace sv::cli
