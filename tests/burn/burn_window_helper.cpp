// Opens the burn window over the files named on the command line, burns them with the image
// writer and prints what the window showed at the end, one line each: a child process for
// tests that limit what it may write.
#include "frmCDBurner.h"
#include "platform/msgbox.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  const QStringList files = app.arguments().mid(1);
  sv::frmCDBurner window(nullptr, [files] { return files; });
  window.ComboCDWrite->setCurrentIndex(window.ComboCDWrite->count() - 1);  // the image writer
  window.cmdStart_Click();
  const bool ended = QTest::qWaitFor([&] { return !window.Job().Outcome().isEmpty(); }, 120000);
  auto line = [](const QString& text) {
    std::printf("%s\n", qPrintable(QString(text).replace("\r\n", "\\r\\n")));
  };
  line("outcome: " + window.Job().Outcome());
  line("status: " + window.labelStatus->text());
  line("caption: " + window.Labeltotalprocess->text());
  for (const sv::MsgBoxCall& c : boxes.calls()) line(QStringLiteral("box %1: ").arg(c.buttons) + c.text);
  return ended ? 0 : 5;
}
