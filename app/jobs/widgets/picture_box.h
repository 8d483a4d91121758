// PictureBox: a drawing surface that keeps what was drawn on it, as the job windows'
// progress bars need. It has a thin border; its scale is the size inside the border, in
// pixels.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QImage>

#include <optional>

namespace sv {

class PictureBox : public QFrame {
  Q_OBJECT

 public:
  explicit PictureBox(QWidget* parent = nullptr);

  int ScaleWidth() const { return Image().width(); }
  int ScaleHeight() const { return Image().height(); }
  // What the box shows, as large as the box; drawing goes here and reaches the screen on
  // Refresh().
  QImage& Image() { return fit(); }
  const QImage& Image() const { return fit(); }
  // Puts what was drawn on the screen at the window's next pass through the event loop, which
  // a job makes every hundredth of a second: a decoder drawing hundreds of percent steps a
  // second then pays for a few dozen repaints, not for each one.
  void Refresh();

  // The box's font without smoothing, for text drawn over a bar, and its metrics; kept until
  // the font changes.
  const QFont& BarFont() const;
  const QFontMetrics& BarMetrics() const;

  // The percentage of the last progress drawing (see DrawProgress).
  float LastPercent() const { return lastPercent_; }
  void NoteProgress(float percent);

 signals:
  // A progress drawing finished at this percentage.
  void ProgressDrawn(float percent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Keeps what was drawn when the box changes size; new area starts white.
  QImage& fit() const;

  mutable QImage image_;
  mutable std::optional<QFont> barFont_;
  mutable std::optional<QFontMetrics> barMetrics_;
  float lastPercent_ = 0.0f;
};

}  // namespace sv
