// A label for a path: too long a path is shortened in the middle ("/home/me/…/song.mp3"),
// and the whole path is its tooltip.
#pragma once

#include <QLabel>

namespace sv::jobs {

class PathLabel : public QLabel {
  Q_OBJECT

 public:
  explicit PathLabel(QWidget* parent = nullptr);

  void SetPath(const QString& path);
  const QString& Path() const { return path_; }
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void elide();
  QString path_;
};

}  // namespace sv::jobs
