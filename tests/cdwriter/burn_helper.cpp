// Burns the files named on the command line to a disc image and prints the events, one line
// each: a child process for tests that limit what it may write.
#include "CDWriterControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  sv::CDWriterControl control;
  bool ended = false;
  QObject::connect(&control, &sv::CDWriterControl::Event, [&](const QString& name, const QVariantList& args) {
    QString line = name;
    for (const QVariant& a : args) line += " " + a.toString();
    std::printf("%s\n", qPrintable(line));
    ended = name == "WritingComplete" || name == "WritingCancelled" || name == "WriteError" ||
            name == "TrackFileError";
  });
  const short image = static_cast<short>(control.Get(24).toInt() - 1);
  if (!control.Call(28, {QVariant::fromValue(image)}).toBool()) return 2;
  const QStringList files = app.arguments().mid(1);
  for (int i = 0; i < files.size(); ++i)
    if (!control.Call(67, {files[i], QVariant::fromValue(static_cast<short>(i + 1))}).toBool()) return 3;
  control.Call(68);
  if (!control.Call(34).toBool()) return 4;
  QElapsedTimer t;
  t.start();
  while (!ended && t.elapsed() < 120000) app.processEvents(QEventLoop::WaitForMoreEvents, 100);
  std::printf("Error data: %s\n", qPrintable(control.Get(23).toString()));
  return ended ? 0 : 5;
}
