#include "burn_window_support.h"

#include "jobs/widgets/picture_box.h"

#include <QComboBox>
#include <QLabel>
#include <QTest>

namespace burntest {

WindowWatch::WindowWatch(const QStringList& files, QWidget* owner)
    : window_(std::make_unique<sv::frmCDBurner>(owner, [files] { return files; })) {
  // Connected after the window's own handler: it sees what the window made of the event.
  QObject::connect(
      &window_->Job().Control(), &sv::CDWriterControl::Event,
      [this](const QString& name, const QVariantList& args) {
        sv::frmCDBurner& w = *window_;
        shown_.push_back({name, args, w.labelStatus->text(),
                          w.labelStatus->palette().color(QPalette::WindowText), w.FilePercent(),
                          w.TotalPercent(), w.Labeltotalprocess->text(), w.cmdStart->isEnabled()});
        if (action_ && name == trigger_) {
          auto action = std::move(action_);
          action_ = nullptr;
          action();
        }
      });
}

std::vector<Shown> WindowWatch::Named(const QString& event) const {
  std::vector<Shown> out;
  for (const Shown& s : shown_)
    if (s.event == event) out.push_back(s);
  return out;
}

bool WindowWatch::WaitForEnd(int ms) {
  return QTest::qWaitFor([this] { return !window_->Job().Outcome().isEmpty(); }, ms);
}

void WindowWatch::OnFirst(const QString& event, std::function<void()> action) {
  trigger_ = event;
  action_ = std::move(action);
}

bool WindowWatch::ChooseWriter(const QString& prefix) {
  for (int i = 0; i < window_->ComboCDWrite->count(); ++i)
    if (window_->ComboCDWrite->itemText(i).startsWith(prefix)) {
      window_->ComboCDWrite->setCurrentIndex(i);
      return true;
    }
  return false;
}

QStringList WindowWatch::Writers() const {
  QStringList out;
  for (int i = 0; i < window_->ComboCDWrite->count(); ++i) out << window_->ComboCDWrite->itemText(i);
  return out;
}

QStringList WindowWatch::Speeds() const {
  QStringList out;
  for (int i = 0; i < window_->ComboBurnSpeed->count(); ++i) out << window_->ComboBurnSpeed->itemText(i);
  return out;
}

}  // namespace burntest
