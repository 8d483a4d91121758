// PictureBox: a drawing surface that keeps what was drawn on it, as the job windows'
// progress bars need. Its scale is its size in pixels.
#pragma once

#include <QImage>
#include <QWidget>

namespace sv {

class PictureBox : public QWidget {
  Q_OBJECT

 public:
  explicit PictureBox(QWidget* parent = nullptr);

  int ScaleWidth() const { return Image().width(); }
  int ScaleHeight() const { return Image().height(); }
  // What the box shows, as large as the box; drawing goes here and reaches the screen on
  // Refresh().
  QImage& Image() { return fit(); }
  const QImage& Image() const { return fit(); }
  // Repaints at once.
  void Refresh();

  // The percentage of the last progress drawing (see DrawProgress).
  float LastPercent() const { return lastPercent_; }
  void NoteProgress(float percent);

 signals:
  // A progress drawing finished at this percentage.
  void ProgressDrawn(float percent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Keeps what was drawn when the box changes size; new area starts white.
  QImage& fit() const;

  mutable QImage image_;
  float lastPercent_ = 0.0f;
};

}  // namespace sv
