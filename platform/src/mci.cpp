#include "platform/mci.h"

namespace sv::mci {

Device::~Device() = default;

bool Command::has(const QString& word) const { return args.contains(word, Qt::CaseInsensitive); }

QString Command::valueAfter(const QString& keyword) const
{
    for (qsizetype i = 0; i + 1 < args.size(); ++i) {
        if (args[i].compare(keyword, Qt::CaseInsensitive) == 0)
            return args[i + 1];
    }
    return {};
}

QString Command::joinedLower() const { return args.join(QLatin1Char(' ')).toLower(); }

void RegisterDeviceType(const QString&, DeviceFactory) {}
void UnregisterDeviceType(const QString&) {}
bool IsDeviceTypeRegistered(const QString&) { return false; }
QString DeviceTypeForExtension(const QString&) { return {}; }
bool IsOpen(const QString&) { return false; }

QString FormatTmsf(int track, int minutes, int seconds, int frames)
{
    return QStringLiteral("%1:%2:%3:%4")
        .arg(track, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'))
        .arg(frames, 2, 10, QLatin1Char('0'));
}

QString FormatMsf(int minutes, int seconds, int frames)
{
    return QStringLiteral("%1:%2:%3")
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'))
        .arg(frames, 2, 10, QLatin1Char('0'));
}

} // namespace sv::mci

namespace sv {

int mciSendString(const QString&, QString*) { return mci::kUnrecognizedCommand; }
int mciSendString(const QString& command, QString* returnText, int) { return mciSendString(command, returnText); }
bool mciGetErrorString(int, QString& text)
{
    text.clear();
    return false;
}
QString mciGetErrorString(int code)
{
    QString t;
    mciGetErrorString(code, t);
    return t;
}

} // namespace sv
