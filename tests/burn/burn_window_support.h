// The burn window under test: what it showed after each event of the control, and a way to
// wait for the end of a write.
#pragma once

#include "frmCDBurner.h"

#include <QColor>
#include <QString>
#include <QVariantList>

#include <memory>
#include <vector>

namespace burntest {

// The window as it stood once it had handled one event.
struct Shown {
  QString event;
  QVariantList args;
  QString status;
  QColor colour;
  float track = 0, total = 0;
  QString caption;
  bool controls = false;  // Burn Now, the writer list and the speed list
};

class WindowWatch {
 public:
  // Watches a window made over `files` (the burn list's paths).
  explicit WindowWatch(const QStringList& files, QWidget* owner = nullptr);
  sv::frmCDBurner& window() { return *window_; }
  const std::vector<Shown>& shown() const { return shown_; }
  std::vector<Shown> Named(const QString& event) const;
  // Serves the event loop until the write ends; false on a timeout.
  bool WaitForEnd(int ms = 120000);
  // Runs `action` once the window has handled the first event of that name.
  void OnFirst(const QString& event, std::function<void()> action);
  // Chooses the writer whose entry starts with `prefix`; false when none does.
  bool ChooseWriter(const QString& prefix);
  QStringList Writers() const;
  QStringList Speeds() const;

 private:
  std::unique_ptr<sv::frmCDBurner> window_;
  std::vector<Shown> shown_;
  QString trigger_;
  std::function<void()> action_;
};

}  // namespace burntest
