#pragma once
// Two-picture button used for the main window's page tabs. It reacts on
// press and never goes back up on its own: the owner decides which tab is
// down.
#include <QPixmap>
#include <QVariantMap>
#include <QWidget>

class ezbutton : public QWidget {
  Q_OBJECT
 public:
  explicit ezbutton(QWidget* parent = nullptr);

  QPixmap UpPicture() const { return up_; }
  void setUpPicture(const QPixmap& picture);
  QPixmap DownPicture() const { return down_; }
  void setDownPicture(const QPixmap& picture);

  void SetButtonUp();
  void SetButtonDown();

  bool isDown() const { return down_state_; }
  // The picture on show, which only changes on SetButtonUp/Down or show.
  QPixmap shownPicture() const { return shown_; }
  // True once a picture property changed since the last save.
  bool propertiesChanged() const { return changed_; }

  // Property bag under the persisted names; absent entries read as none.
  void ReadProperties(const QVariantMap& bag);
  void WriteProperties(QVariantMap& bag);

  QSize sizeHint() const override;

 signals:
  void Click();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void showPicture(const QPixmap& picture);

  QPixmap up_;
  QPixmap down_;
  QPixmap shown_;
  bool down_state_ = false;
  bool changed_ = false;
};
