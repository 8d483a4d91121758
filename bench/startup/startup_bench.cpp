// Measures how long the program takes from process start to the first paint
// of its main window, and to a clean exit after that.
//
//   startup_bench [runs]        (default 10; runs itself once per start)
//
// Each run is a fresh process, so loading Qt and the program's libraries is
// counted. Start-up message boxes (none, or the two of a machine without a CD
// drive) are answered at once, as a user pressing Enter would not be timed.
// All runs share one empty settings folder: the first run also records the
// installation, the later ones find it.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "frmmain.h"
#include "platform/msgbox.h"

namespace {

class FirstPaint : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      std::printf("painted\n");
      std::fflush(stdout);
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool seen_ = false;
};

int RunOnce(int argc, char** argv) {
  QApplication app(argc, argv);
  sv::ScopedMsgBoxResponder answer(sv::vbOK);
  FirstPaint watcher;
  frmmain window;
  window.installEventFilter(&watcher);
  window.show();
  return app.exec();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--once") return RunOnce(argc, argv);

  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  QCoreApplication app(argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());

  std::vector<double> paint, total;
  for (int i = 0; i < runs; ++i) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--once")});
    double painted = -1;
    while (child.state() != QProcess::NotRunning || child.bytesAvailable() > 0) {
      child.waitForReadyRead(50);
      if (painted < 0 && child.readAll().contains("painted")) painted = clock.nsecsElapsed() / 1e6;
      if (child.state() == QProcess::NotRunning && child.bytesAvailable() == 0) break;
    }
    child.waitForFinished(-1);
    const double done = clock.nsecsElapsed() / 1e6;
    if (painted < 0 || child.exitCode() != 0) {
      std::fprintf(stderr, "run %d: the window never painted (exit %d)\n", i + 1, child.exitCode());
      return 1;
    }
    paint.push_back(painted);
    total.push_back(done);
    std::printf("run %2d: first paint %7.1f ms, quit %7.1f ms%s\n", i + 1, painted, done,
                i == 0 ? "  (first run: records the installation)" : "");
  }
  std::printf(
      "median: first paint %.1f ms, start to quit %.1f ms; worst start to quit %.1f ms (target 500 ms)\n",
      Median(paint), Median(total), *std::max_element(total.begin(), total.end()));
  return *std::max_element(total.begin(), total.end()) < 500.0 ? 0 : 2;
}
