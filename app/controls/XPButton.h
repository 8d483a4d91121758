#pragma once
// Flat, self-painted push button used for every command button of the
// program. It tracks hover itself, tints its face while hovered or pressed
// and can be held pressed by the program to act as a tab or option.
#include <QPixmap>
#include <QVariantMap>
#include <QWidget>
#include <cstdint>

#include "OleColor.h"

class XPButton : public QWidget {
  Q_OBJECT
 public:
  enum Align : std::int32_t { AlignCenter = 0, AlignNear = 1, AlignFar = 2 };
  enum class Look { Normal, Hover, Pressed };

  explicit XPButton(QWidget* parent = nullptr);
  ~XPButton() override;

  QString Caption() const { return caption_; }
  void setCaption(const QString& caption);
  // The character that presses the button together with Alt; null if none.
  QChar AccessKey() const { return access_key_; }

  controls::OLE_COLOR TextColor() const { return text_colour_; }
  void setTextColor(controls::OLE_COLOR colour);
  controls::OLE_COLOR HoverColor() const { return hover_colour_; }
  void setHoverColor(controls::OLE_COLOR colour);
  controls::OLE_COLOR BackgroundColor() const { return back_colour_; }
  void setBackgroundColor(controls::OLE_COLOR colour);

  QPixmap Picture() const { return picture_; }
  void setPicture(const QPixmap& picture);
  QPixmap PictureHover() const { return picture_hover_; }
  void setPictureHover(const QPixmap& picture);
  QPixmap PicturePressed() const { return picture_pressed_; }
  void setPicturePressed(const QPixmap& picture);
  // Sizes in pixels, kept when a picture is set, 0 by 0 once cleared.
  QSize PictureSize() const { return picture_size_; }
  QSize PictureHoverSize() const { return picture_hover_size_; }
  QSize PicturePressedSize() const { return picture_pressed_size_; }

  bool DrawNoHoverThinLine() const { return thin_line_; }
  void setDrawNoHoverThinLine(bool on);
  bool NoDown() const { return no_down_; }
  void setNoDown(bool on);
  bool IsPressed() const { return is_pressed_; }
  void setIsPressed(bool on);

  std::int32_t TextAlignH() const { return text_align_h_; }
  void setTextAlignH(std::int32_t align);
  std::int32_t TextAlignV() const { return text_align_v_; }
  void setTextAlignV(std::int32_t align);
  std::int32_t PictureAlignH() const { return picture_align_h_; }
  void setPictureAlignH(std::int32_t align);
  std::int32_t PictureAlignV() const { return picture_align_v_; }
  void setPictureAlignV(std::int32_t align);

  bool NoRefresh() const { return no_refresh_; }
  void setNoRefresh(bool on) { no_refresh_ = on; }

  // Repaints now unless painting is suppressed.
  void Refresh();

  bool isHovering() const { return hovering_; }
  bool isMousePressed() const { return mouse_pressed_; }
  Look currentLook() const;
  QPixmap currentPicture() const;

  // Defaults of a newly placed button, and the property bag.
  void InitProperties();
  void ReadProperties(const QVariantMap& bag);
  void WriteProperties(QVariantMap& bag);
  bool propertiesChanged() const { return changed_; }

  QSize sizeHint() const override;

 signals:
  // Button: 1 left, 2 right, 4 middle; Shift: 1 shift, 2 ctrl, 4 alt.
  void MouseDown(short Button, short Shift, float X, float Y);
  void MouseMove(short Button, short Shift, float X, float Y);
  void MouseUp(short Button, short Shift, float X, float Y);
  void MouseEnter();
  void MouseLeave();
  void Click();
  void DblClick();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void setHoverState(bool inside);
  void propertyChanged();
  QColor colour(controls::OLE_COLOR value) const;

  QString caption_;
  QChar access_key_;
  int shortcut_id_ = 0;
  controls::OLE_COLOR text_colour_ = controls::vbButtonText;
  controls::OLE_COLOR hover_colour_ = controls::vbHighlight;
  controls::OLE_COLOR back_colour_ = controls::vbButtonFace;
  QPixmap picture_;
  QPixmap picture_hover_;
  QPixmap picture_pressed_;
  QSize picture_size_{0, 0};
  QSize picture_hover_size_{0, 0};
  QSize picture_pressed_size_{0, 0};
  bool thin_line_ = false;
  bool no_down_ = false;
  bool is_pressed_ = false;
  std::int32_t text_align_h_ = AlignCenter;
  std::int32_t text_align_v_ = AlignCenter;
  std::int32_t picture_align_h_ = AlignCenter;
  std::int32_t picture_align_v_ = AlignCenter;
  bool no_refresh_ = true;
  bool tracking_ = false;
  bool hovering_ = false;
  bool mouse_pressed_ = false;
  bool changed_ = false;
};
