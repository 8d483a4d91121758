#include "platform/mci.h"

#include <map>
#include <set>
#include <vector>

namespace sv::mci {

Device::~Device() = default;

bool Command::has(const QString& word) const { return args.contains(word, Qt::CaseInsensitive); }

QString Command::valueAfter(const QString& keyword) const {
  for (qsizetype i = 0; i + 1 < args.size(); ++i) {
    if (args[i].compare(keyword, Qt::CaseInsensitive) == 0) return args[i + 1];
  }
  return {};
}

QString Command::joinedLower() const { return args.join(QLatin1Char(' ')).toLower(); }

namespace {

struct OpenDevice {
  QString alias;
  QString type;
  std::unique_ptr<Device> device;
};

struct State {
  std::map<QString, DeviceFactory> factories;  // by lower-case type
  std::map<QString, OpenDevice> devices;       // by lower-case alias
};

State& state() {
  static State s;
  return s;
}

QString fold(const QString& s) { return s.toLower(); }

// Device type names that may be opened without a file ("open cdaudio").
bool isSimpleDeviceName(const QString& lower) {
  static const std::set<QString> names = {
      QStringLiteral("cdaudio"),   QStringLiteral("waveaudio"),    QStringLiteral("mpegvideo"),
      QStringLiteral("sequencer"), QStringLiteral("videodisc"),    QStringLiteral("vcr"),
      QStringLiteral("dat"),       QStringLiteral("digitalvideo"), QStringLiteral("avivideo"),
      QStringLiteral("overlay"),   QStringLiteral("scanner"),      QStringLiteral("other"),
  };
  return names.count(lower) > 0 || state().factories.count(lower) > 0;
}

bool isKnownVerb(const QString& lower) {
  static const std::set<QString> verbs = {
      QStringLiteral("open"),      QStringLiteral("close"),      QStringLiteral("play"),
      QStringLiteral("stop"),      QStringLiteral("pause"),      QStringLiteral("resume"),
      QStringLiteral("seek"),      QStringLiteral("status"),     QStringLiteral("set"),
      QStringLiteral("info"),      QStringLiteral("capability"), QStringLiteral("sysinfo"),
      QStringLiteral("cue"),       QStringLiteral("record"),     QStringLiteral("save"),
      QStringLiteral("load"),      QStringLiteral("delete"),     QStringLiteral("window"),
      QStringLiteral("where"),     QStringLiteral("put"),        QStringLiteral("update"),
      QStringLiteral("freeze"),    QStringLiteral("unfreeze"),   QStringLiteral("realize"),
      QStringLiteral("spin"),      QStringLiteral("step"),       QStringLiteral("escape"),
      QStringLiteral("configure"), QStringLiteral("setaudio"),   QStringLiteral("setvideo"),
      QStringLiteral("cut"),       QStringLiteral("copy"),       QStringLiteral("paste"),
      QStringLiteral("undo"),      QStringLiteral("list"),       QStringLiteral("monitor"),
      QStringLiteral("signal"),    QStringLiteral("break"),
  };
  return verbs.count(lower) > 0;
}

// Splits at blanks; a double-quoted word may hold blanks and loses its quotes.
int tokenize(const QString& text, QStringList& tokens) {
  tokens.clear();
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n) {
    while (i < n && text[i].isSpace()) ++i;
    if (i >= n) break;
    if (text[i] == QLatin1Char('"')) {
      // Inside quotes a doubled quote stands for one, so any file name can be written.
      QString word;
      qsizetype j = i + 1;
      for (;;) {
        const qsizetype close = text.indexOf(QLatin1Char('"'), j);
        if (close < 0) return kNoClosingQuote;
        word += text.mid(j, close - j);
        if (close + 1 < n && text[close + 1] == QLatin1Char('"')) {
          word += QLatin1Char('"');
          j = close + 2;
          continue;
        }
        i = close + 1;
        break;
      }
      tokens.append(word);
      if (i < n && !text[i].isSpace()) return kExtraCharacters;
      continue;
    }
    const qsizetype start = i;
    while (i < n && !text[i].isSpace()) ++i;
    tokens.append(text.mid(start, i - start));
  }
  return kNoError;
}

int openDevice(const QStringList& tokens, QString& reply) {
  State& s = state();
  OpenRequest request;
  QStringList rest = tokens.mid(1);
  // "open type cdaudio alias cd": no element named, as when the drive list was empty.
  if (!rest.isEmpty() && rest.front().compare(QLatin1String("type"), Qt::CaseInsensitive) != 0) {
    request.element = rest.front();
    rest.removeFirst();
  }
  if (request.element.isEmpty() && rest.isEmpty()) return kMissingDeviceName;

  bool haveType = false;
  bool haveAlias = false;
  for (qsizetype i = 0; i < rest.size(); ++i) {
    const QString word = rest[i].toLower();
    if (word == QLatin1String("type") || word == QLatin1String("alias")) {
      if (i + 1 >= rest.size()) return kMissingStringArgument;
      bool& seen = word == QLatin1String("type") ? haveType : haveAlias;
      if (seen) return kDuplicateFlags;
      seen = true;
      if (word == QLatin1String("type"))
        request.type = rest[i + 1].toLower();
      else
        request.alias = rest[i + 1];
      ++i;
    } else if (word == QLatin1String("shareable")) {
      request.shareable = true;
    } else if (word == QLatin1String("wait") || word == QLatin1String("notify")) {
      // Opening is synchronous either way.
    } else {
      request.args.append(rest[i]);
    }
  }

  bool simple = false;
  if (!haveType) {
    const qsizetype bang = request.element.indexOf(QLatin1Char('!'));
    if (bang > 0) {
      request.type = request.element.left(bang).toLower();
      request.element = request.element.mid(bang + 1);
    } else if (isSimpleDeviceName(request.element.toLower())) {
      request.type = request.element.toLower();
      simple = true;
    } else {
      const qsizetype dot = request.element.lastIndexOf(QLatin1Char('.'));
      const qsizetype slash = request.element.lastIndexOf(QLatin1Char('/'));
      request.type = dot > slash ? DeviceTypeForExtension(request.element.mid(dot + 1)) : QString();
      if (request.type.isEmpty()) return kExtensionNotFound;
    }
  }
  if (request.type.isEmpty()) return kMissingStringArgument;
  if (!haveAlias) request.alias = simple ? request.type : request.element;
  if (simple) request.element.clear();
  if (request.alias.isEmpty()) return kMissingDeviceName;
  if (fold(request.alias) == QLatin1String("all")) return kCannotUseAll;
  if (s.devices.count(fold(request.alias))) return haveAlias ? kDuplicateAlias : kDeviceOpen;

  const auto factory = s.factories.find(request.type);
  if (factory == s.factories.end()) {
    // No driver behind this type on this machine.
    return kInvalidDeviceName;
  }
  int error = kNoError;
  std::unique_ptr<Device> device = factory->second(request, error);
  if (!device) return error != kNoError ? error : kHardware;
  s.devices[fold(request.alias)] = OpenDevice{request.alias, request.type, std::move(device)};
  reply = QStringLiteral("1");
  return kNoError;
}

int sysinfo(const QStringList& args, QString& reply) {
  // "sysinfo all quantity open", "sysinfo <type> quantity": counts of devices.
  if (args.size() < 2) return kMissingParameter;
  const QString target = args[0].toLower();
  const QString what = args[1].toLower();
  if (what != QLatin1String("quantity")) return kUnsupportedFunction;
  const bool openOnly = args.size() > 2 && args[2].compare(QLatin1String("open"), Qt::CaseInsensitive) == 0;
  int count = 0;
  if (openOnly) {
    for (const auto& [alias, dev] : state().devices) {
      if (target == QLatin1String("all") || dev.type == target) ++count;
    }
  } else {
    count = target == QLatin1String("all") ? static_cast<int>(state().factories.size())
                                           : static_cast<int>(state().factories.count(target));
  }
  reply = QString::number(count);
  return kNoError;
}

}  // namespace

void RegisterDeviceType(const QString& type, DeviceFactory factory) {
  state().factories[fold(type)] = std::move(factory);
}

void UnregisterDeviceType(const QString& type) {
  State& s = state();
  const QString t = fold(type);
  s.factories.erase(t);
  // Devices of that type cannot outlive their driver.
  for (auto it = s.devices.begin(); it != s.devices.end();) {
    if (it->second.type == t)
      it = s.devices.erase(it);
    else
      ++it;
  }
}

bool IsDeviceTypeRegistered(const QString& type) { return state().factories.count(fold(type)) > 0; }

QString DeviceTypeForExtension(const QString& extension) {
  const QString e = extension.toLower();
  if (e == QLatin1String("wav")) return QStringLiteral("waveaudio");
  if (e == QLatin1String("mp3") || e == QLatin1String("mp2") || e == QLatin1String("mp1") ||
      e == QLatin1String("mpa"))
    return QStringLiteral("mpegvideo");
  return {};
}

QString QuoteName(const QString& name) {
  bool plain = !name.isEmpty();
  for (const QChar c : name)
    if (c.isSpace() || c == QLatin1Char('"')) plain = false;
  if (plain) return name;
  QString quoted = name;
  quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool IsOpen(const QString& alias) { return state().devices.count(fold(alias)) > 0; }

QString FormatTmsf(int track, int minutes, int seconds, int frames) {
  return QStringLiteral("%1:%2:%3:%4")
      .arg(track, 2, 10, QLatin1Char('0'))
      .arg(minutes, 2, 10, QLatin1Char('0'))
      .arg(seconds, 2, 10, QLatin1Char('0'))
      .arg(frames, 2, 10, QLatin1Char('0'));
}

QString FormatMsf(int minutes, int seconds, int frames) {
  return QStringLiteral("%1:%2:%3")
      .arg(minutes, 2, 10, QLatin1Char('0'))
      .arg(seconds, 2, 10, QLatin1Char('0'))
      .arg(frames, 2, 10, QLatin1Char('0'));
}

bool ParseTimeFormat(const QString& word, TimeFormat& format) {
  const QString w = word.toLower();
  if (w == QLatin1String("milliseconds") || w == QLatin1String("ms"))
    format = TimeFormat::Milliseconds;
  else if (w == QLatin1String("msf"))
    format = TimeFormat::Msf;
  else if (w == QLatin1String("tmsf"))
    format = TimeFormat::Tmsf;
  else if (w == QLatin1String("frames"))
    format = TimeFormat::Frames;
  else if (w == QLatin1String("samples"))
    format = TimeFormat::Samples;
  else if (w == QLatin1String("bytes"))
    format = TimeFormat::Bytes;
  else
    return false;
  return true;
}

QString TimeFormatWord(const QStringList& setArgs) {
  for (qsizetype i = 0; i + 2 < setArgs.size(); ++i) {
    if (setArgs[i].compare(QLatin1String("time"), Qt::CaseInsensitive) == 0 &&
        setArgs[i + 1].compare(QLatin1String("format"), Qt::CaseInsensitive) == 0)
      return setArgs[i + 2];
  }
  return {};
}

namespace {
void splitMsf(qint64 ms, int& minutes, int& seconds, int& frames) {
  if (ms < 0) ms = 0;
  const qint64 totalFrames = ms * kCdFramesPerSecond / 1000;
  frames = static_cast<int>(totalFrames % kCdFramesPerSecond);
  const qint64 totalSeconds = totalFrames / kCdFramesPerSecond;
  seconds = static_cast<int>(totalSeconds % 60);
  minutes = static_cast<int>(totalSeconds / 60);
}
}  // namespace

QString MillisecondsToMsf(qint64 milliseconds) {
  int m = 0, s = 0, f = 0;
  splitMsf(milliseconds, m, s, f);
  return FormatMsf(m, s, f);
}

QString MillisecondsToTmsf(int track, qint64 millisecondsIntoTrack) {
  int m = 0, s = 0, f = 0;
  splitMsf(millisecondsIntoTrack, m, s, f);
  return FormatTmsf(track, m, s, f);
}

qint64 MsfToMilliseconds(const QString& text) {
  const QStringList parts = text.trimmed().split(QLatin1Char(':'));
  if (parts.isEmpty() || parts.size() > 3) return -1;
  qint64 fields[3] = {0, 0, 0};
  for (qsizetype i = 0; i < parts.size(); ++i) {
    bool ok = false;
    fields[i] = parts[i].toLongLong(&ok);
    if (!ok || fields[i] < 0) return -1;
  }
  return fields[0] * 60000 + fields[1] * 1000 + fields[2] * 1000 / kCdFramesPerSecond;
}

int Send(const QString& text, QString& reply) {
  reply.clear();
  QStringList tokens;
  if (const int e = tokenize(text, tokens); e != kNoError) return e;
  if (tokens.isEmpty()) return kMissingCommandString;
  const QString verb = tokens[0].toLower();
  if (!isKnownVerb(verb)) return kUnrecognizedCommand;
  if (verb == QLatin1String("open")) return openDevice(tokens, reply);
  if (tokens.size() < 2) return kMissingDeviceName;
  State& s = state();
  const QString target = fold(tokens[1]);
  if (verb == QLatin1String("sysinfo")) return sysinfo(tokens.mid(1), reply);
  if (verb == QLatin1String("close")) {
    if (target == QLatin1String("all")) {
      // Out of the table first, so a device may send commands as it closes.
      std::map<QString, OpenDevice> closing;
      closing.swap(s.devices);
      closing.clear();
      return kNoError;
    }
    const auto it = s.devices.find(target);
    if (it == s.devices.end()) return kInvalidDeviceName;
    // Taken out of the table before it is destroyed, so a device may send commands as it closes.
    std::unique_ptr<Device> closing = std::move(it->second.device);
    s.devices.erase(it);
    return kNoError;
  }
  if (target == QLatin1String("all")) return kCannotUseAll;
  const auto it = s.devices.find(target);
  if (it == s.devices.end()) return kInvalidDeviceName;

  Command command;
  command.text = text;
  command.verb = verb;
  command.device = tokens[1];
  for (qsizetype i = 2; i < tokens.size(); ++i) {
    const QString lower = tokens[i].toLower();
    if (lower == QLatin1String("wait"))
      command.wait = true;
    else if (lower == QLatin1String("notify"))
      command.notify = true;
    else
      command.args.append(tokens[i]);
  }
  Device* device = it->second.device.get();
  return device->execute(command, reply);
}

}  // namespace sv::mci

namespace sv {

int mciSendString(const QString& command, QString* returnText) {
  QString reply;
  const int code = mci::Send(command, reply);
  if (returnText) *returnText = code == mci::kNoError ? reply : QString();
  return code;
}

int mciSendString(const QString& command, QString* returnText, int bufferLength) {
  QString reply;
  const int code = mci::Send(command, reply);
  if (returnText) returnText->clear();
  if (code != mci::kNoError) return code;
  if (returnText && bufferLength > 0 && reply.size() + 1 > bufferLength) return mci::kParamOverflow;
  if (returnText) *returnText = reply;
  return code;
}

bool mciGetErrorString(int code, QString& text) {
  static const std::map<int, const char*> texts = {
      {0, "The specified command was carried out."},
      {257, "Invalid device ID. Use the ID given to the device when the device was opened."},
      {259, "The driver cannot recognize the specified command parameter."},
      {261, "The driver cannot recognize the specified command."},
      {262,
       "There is a problem with your media device. Make sure it is working correctly or contact the device "
       "manufacturer."},
      {263, "The specified device is not open or is not recognized by MCI."},
      {264,
       "Your system does not have enough memory for this task. Quit one or more applications to increase "
       "available memory, and then try again."},
      {265, "The device name is already being used as an alias by this application. Use a unique alias."},
      {266, "There is an undetectable problem in loading the specified device driver."},
      {267, "No command was specified."},
      {268, "The output string was too large to fit in the return buffer. Increase the size of the buffer."},
      {269, "The specified command requires a character-string parameter. Please provide one."},
      {270, "The specified integer is invalid for this command."},
      {271,
       "The device driver returned an invalid return type. Check with the device manufacturer about "
       "obtaining a new driver."},
      {272,
       "There is a problem with the device driver. Check with the device manufacturer about obtaining a new "
       "driver."},
      {273, "The specified command requires a parameter. Please supply one."},
      {274, "The MCI device you are using does not support the specified command."},
      {275, "Cannot find the specified file. Make sure the path and filename are correct."},
      {276, "The device driver is not ready."},
      {277, "A problem occurred in initializing MCI. Try restarting the program."},
      {278, "There is a problem with the device driver. The driver has closed. Cannot access error."},
      {279, "Cannot use 'all' as the device name with the specified command."},
      {280,
       "Errors occurred in more than one device. Specify each command and device separately to determine "
       "which devices caused the error."},
      {281, "Cannot determine the device type from the given filename extension."},
      {282, "The specified parameter is out of range for the specified command."},
      {284, "The specified parameters cannot be used together."},
      {286,
       "Cannot save the specified file. Make sure you have enough disk space or are still connected to the "
       "network."},
      {287,
       "Cannot find the specified device. Make sure it is installed or that the device name is spelled "
       "correctly."},
      {288, "The specified device is now being closed. Wait a few seconds, and then try again."},
      {289, "The specified alias is already being used in this application. Use a unique alias."},
      {290, "The specified parameter is invalid for this command."},
      {291,
       "The device driver is already in use. To share it, use the 'shareable' parameter with each 'open' "
       "command."},
      {292, "The specified command requires an alias, file, driver, or device name. Please supply one."},
      {293,
       "The specified value for the time format is invalid. Refer to the MCI documentation for valid "
       "formats."},
      {294, "A closing double-quotation mark is missing from the parameter value. Please supply one."},
      {295, "A parameter or value was specified twice. Only specify it once."},
      {296,
       "The specified file cannot be played on the specified MCI device. The file may be corrupt, or not in "
       "the correct format."},
      {297, "A null parameter block was passed to MCI."},
      {298, "Cannot save an unnamed file. Supply a filename."},
      {299, "You must specify an alias when using the 'new' parameter."},
      {300, "Cannot use the 'notify' flag with auto-opened devices."},
      {301, "Cannot use a filename with the specified device."},
      {302,
       "Cannot carry out the commands in the order specified. Correct the command sequence, and then try "
       "again."},
      {303,
       "Cannot carry out the specified command on an auto-opened device. Wait until the device is closed, "
       "and then try again."},
      {304, "The filename is invalid. Make sure the filename is correct."},
      {305, "Cannot specify extra characters after a string enclosed in quotation marks."},
      {306, "The specified device is not installed on the system. Install the device driver and try again."},
      {307,
       "Cannot access the specified file or MCI device. Try changing directories or restarting your "
       "computer."},
      {308,
       "Cannot access the specified file or MCI device because the application cannot change directories."},
      {309, "Cannot access specified file or MCI device because the application cannot change drives."},
      {310, "Specify a device or driver name that is less than 79 characters."},
      {311, "Specify a device or driver name that is less than 69 characters."},
      {312, "The specified command requires an integer parameter. Please provide one."},
      {346, "There is no display window."},
      {347, "Could not create or use window."},
      {348,
       "Cannot read the specified file. Make sure the file is still present, or check your disk or network "
       "connection."},
      {349,
       "Cannot write to the specified file. Make sure you have enough disk space or are still connected to "
       "the network."},
  };
  const auto it = texts.find(code);
  if (it == texts.end()) {
    text = QStringLiteral("Unknown media control error (%1).").arg(code);
    return false;
  }
  text = QString::fromLatin1(it->second);
  return true;
}

QString mciGetErrorString(int code) {
  QString t;
  mciGetErrorString(code, t);
  return t;
}

}  // namespace sv
