#pragma once
// A picture on the window's artwork that acts as a command: it lights up
// under the pointer and clicks on a left-button release over it.
#include <QPixmap>
#include <QWidget>

class ImageControl : public QWidget {
  Q_OBJECT
 public:
  explicit ImageControl(QWidget* parent = nullptr);

  void setPictures(const QPixmap& normal, const QPixmap& hover);
  bool isHovering() const { return hover_; }

 signals:
  void Click();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QPixmap normal_;
  QPixmap hover_picture_;
  bool hover_ = false;
  bool pressed_ = false;
};

// One page's picture box: the light panel that holds the page's controls.
// It keeps presses to itself, so only the bare window frame drags the window.
class PageBox : public QWidget {
  Q_OBJECT
 public:
  explicit PageBox(int page, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
};

// Stands in a page until the page's own controls are built: its emblem and
// title. The page's initialisation removes it.
class PagePlaceholder : public QWidget {
  Q_OBJECT
 public:
  PagePlaceholder(int page, const QString& title, QWidget* parent);

  QString title() const { return title_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int page_;
  QString title_;
};
