#include "XPButton.h"

#include <QEnterEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>

using controls::OLE_COLOR;

namespace {

short buttonCode(Qt::MouseButtons buttons) {
  short code = 0;
  if (buttons & Qt::LeftButton) code |= 1;
  if (buttons & Qt::RightButton) code |= 2;
  if (buttons & Qt::MiddleButton) code |= 4;
  return code;
}

short shiftCode(Qt::KeyboardModifiers modifiers) {
  short code = 0;
  if (modifiers & Qt::ShiftModifier) code |= 1;
  if (modifiers & Qt::ControlModifier) code |= 2;
  if (modifiers & Qt::AltModifier) code |= 4;
  return code;
}

// The first "&" not doubled marks the access key; "&&" is a literal "&".
QChar accessKeyOf(const QString& caption) {
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] != u'&') continue;
    if (i + 1 >= caption.size()) return {};
    if (caption[i + 1] == u'&') {
      ++i;
      continue;
    }
    return caption[i + 1];
  }
  return {};
}

QSize pictureSize(const QPixmap& picture) {
  return picture.isNull() ? QSize(0, 0) : picture.deviceIndependentSize().toSize();
}

int alignedOffset(std::int32_t align, int outer, int inner) {
  switch (align) {
    case XPButton::AlignNear:
      return 1;
    case XPButton::AlignFar:
      return outer - 2 - inner;
    default:
      return (outer - inner) / 2;
  }
}

}  // namespace

XPButton::XPButton(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_Hover, false);
  InitProperties();
  changed_ = false;
}

XPButton::~XPButton() = default;

void XPButton::InitProperties() {
  setCaption(objectName());
  text_colour_ = controls::vbButtonText;
  hover_colour_ = controls::vbHighlight;
  back_colour_ = controls::vbButtonFace;
  picture_ = picture_hover_ = picture_pressed_ = QPixmap();
  picture_size_ = picture_hover_size_ = picture_pressed_size_ = QSize(0, 0);
  thin_line_ = no_down_ = is_pressed_ = false;
  text_align_h_ = text_align_v_ = picture_align_h_ = picture_align_v_ = AlignCenter;
  setEnabled(true);
  if (parentWidget()) setFont(parentWidget()->font());
}

void XPButton::ReadProperties(const QVariantMap& bag) {
  auto colourOr = [&bag](const char* name, OLE_COLOR fallback) {
    const QVariant v = bag.value(QLatin1String(name));
    return v.isValid() ? static_cast<OLE_COLOR>(v.toUInt()) : fallback;
  };
  auto intOr = [&bag](const char* name, std::int32_t fallback) {
    const QVariant v = bag.value(QLatin1String(name));
    return v.isValid() ? static_cast<std::int32_t>(v.toInt()) : fallback;
  };
  auto boolOr = [&bag](const char* name, bool fallback) {
    const QVariant v = bag.value(QLatin1String(name));
    return v.isValid() ? v.toBool() : fallback;
  };
  const bool saved = no_refresh_;
  no_refresh_ = true;
  setCaption(bag.value(QStringLiteral("Caption"), objectName()).toString());
  setEnabled(boolOr("Enabled", true));
  if (bag.contains(QStringLiteral("Font"))) setFont(bag.value(QStringLiteral("Font")).value<QFont>());
  text_colour_ = colourOr("TextColor", controls::vbButtonText);
  hover_colour_ = colourOr("HoverColor", controls::vbHighlight);
  back_colour_ = colourOr("BackgroundColor", controls::vbButtonFace);
  setPicture(bag.value(QStringLiteral("Picture")).value<QPixmap>());
  setPictureHover(bag.value(QStringLiteral("PictureHover")).value<QPixmap>());
  setPicturePressed(bag.value(QStringLiteral("PicturePressed")).value<QPixmap>());
  thin_line_ = boolOr("DrawNoHoverThinLine", false);
  no_down_ = boolOr("NoDown", false);
  is_pressed_ = boolOr("IsPressed", false);
  text_align_h_ = intOr("TextAlignH", AlignCenter);
  text_align_v_ = intOr("TextAlignV", AlignCenter);
  picture_align_h_ = intOr("PictureAlignH", AlignCenter);
  picture_align_v_ = intOr("PictureAlignV", AlignCenter);
  no_refresh_ = saved;
  changed_ = false;
  Refresh();
}

void XPButton::WriteProperties(QVariantMap& bag) {
  bag.insert(QStringLiteral("Caption"), caption_);
  bag.insert(QStringLiteral("Enabled"), isEnabled());
  bag.insert(QStringLiteral("Font"), font());
  bag.insert(QStringLiteral("TextColor"), static_cast<uint>(text_colour_));
  bag.insert(QStringLiteral("HoverColor"), static_cast<uint>(hover_colour_));
  bag.insert(QStringLiteral("BackgroundColor"), static_cast<uint>(back_colour_));
  bag.insert(QStringLiteral("Picture"), picture_);
  bag.insert(QStringLiteral("PictureHover"), picture_hover_);
  bag.insert(QStringLiteral("PicturePressed"), picture_pressed_);
  bag.insert(QStringLiteral("DrawNoHoverThinLine"), thin_line_);
  bag.insert(QStringLiteral("NoDown"), no_down_);
  bag.insert(QStringLiteral("IsPressed"), is_pressed_);
  bag.insert(QStringLiteral("TextAlignH"), text_align_h_);
  bag.insert(QStringLiteral("TextAlignV"), text_align_v_);
  bag.insert(QStringLiteral("PictureAlignH"), picture_align_h_);
  bag.insert(QStringLiteral("PictureAlignV"), picture_align_v_);
  changed_ = false;
}

void XPButton::propertyChanged() {
  changed_ = true;
  Refresh();
}

void XPButton::Refresh() {
  if (!no_refresh_) repaint();
}

void XPButton::setCaption(const QString& caption) {
  caption_ = caption;
  const QChar key = accessKeyOf(caption);
  if (key != access_key_ || shortcut_id_ == 0) {
    if (shortcut_id_ != 0) {
      releaseShortcut(shortcut_id_);
      shortcut_id_ = 0;
    }
    access_key_ = key;
    if (!key.isNull())
      shortcut_id_ = grabShortcut(
          QKeySequence(QKeyCombination(Qt::AltModifier, static_cast<Qt::Key>(key.toUpper().unicode()))));
  }
  propertyChanged();
}

void XPButton::setTextColor(OLE_COLOR colour) {
  text_colour_ = colour;
  propertyChanged();
}

void XPButton::setHoverColor(OLE_COLOR colour) {
  hover_colour_ = colour;
  propertyChanged();
}

void XPButton::setBackgroundColor(OLE_COLOR colour) {
  back_colour_ = colour;
  propertyChanged();
}

void XPButton::setPicture(const QPixmap& picture) {
  picture_ = picture;
  picture_size_ = pictureSize(picture);
  propertyChanged();
}

void XPButton::setPictureHover(const QPixmap& picture) {
  picture_hover_ = picture;
  picture_hover_size_ = pictureSize(picture);
  propertyChanged();
}

void XPButton::setPicturePressed(const QPixmap& picture) {
  picture_pressed_ = picture;
  picture_pressed_size_ = pictureSize(picture);
  propertyChanged();
}

void XPButton::setDrawNoHoverThinLine(bool on) {
  thin_line_ = on;
  propertyChanged();
}

void XPButton::setNoDown(bool on) {
  no_down_ = on;
  propertyChanged();
}

void XPButton::setIsPressed(bool on) {
  is_pressed_ = on;
  propertyChanged();
}

void XPButton::setTextAlignH(std::int32_t align) {
  text_align_h_ = align;
  propertyChanged();
}

void XPButton::setTextAlignV(std::int32_t align) {
  text_align_v_ = align;
  propertyChanged();
}

void XPButton::setPictureAlignH(std::int32_t align) {
  picture_align_h_ = align;
  propertyChanged();
}

void XPButton::setPictureAlignV(std::int32_t align) {
  picture_align_v_ = align;
  propertyChanged();
}

XPButton::Look XPButton::currentLook() const {
  if (mouse_pressed_ || (is_pressed_ && !hovering_)) return Look::Pressed;
  if (hovering_) return Look::Hover;
  return Look::Normal;
}

QPixmap XPButton::currentPicture() const {
  switch (currentLook()) {
    case Look::Pressed:
      if (!picture_pressed_.isNull()) return picture_pressed_;
      if (hovering_ && !picture_hover_.isNull()) return picture_hover_;
      return picture_;
    case Look::Hover:
      return picture_hover_.isNull() ? picture_ : picture_hover_;
    case Look::Normal:
      break;
  }
  return picture_;
}

QColor XPButton::colour(OLE_COLOR value) const { return controls::OleTranslateColor(value, palette()); }

QSize XPButton::sizeHint() const {
  const QFontMetrics fm(font());
  QString shown = caption_;
  shown.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  shown.remove(u'&');
  shown.replace(u'\x01', u'&');
  const QSize text(fm.horizontalAdvance(shown) + 16, fm.height() + 10);
  return text.expandedTo(picture_size_ + QSize(4, 4)).expandedTo(QSize(75, 23));
}

void XPButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = rect();
  const QColor back = colour(back_colour_);
  const QColor hover = colour(hover_colour_);
  const Look look = isEnabled() ? currentLook() : Look::Normal;

  auto framedFace = [&](const QColor& face) {
    p.fillRect(r, hover);
    p.fillRect(r.adjusted(1, 1, -1, -1), face);
  };
  switch (look) {
    case Look::Normal:
      p.fillRect(r, back);
      if (thin_line_) {
        p.setPen(colour(controls::vbButtonShadow));
        p.drawRect(r.adjusted(0, 0, -1, -1));
      }
      break;
    case Look::Hover:
      framedFace(controls::Blend(back, hover, false));
      break;
    case Look::Pressed:
      framedFace(controls::Blend(back, hover, true));
      break;
  }

  const QPixmap pic = currentPicture();
  if (!pic.isNull()) {
    const QSize ps = pictureSize(pic);
    p.drawPixmap(alignedOffset(picture_align_h_, width(), ps.width()),
                 alignedOffset(picture_align_v_, height(), ps.height()), pic);
  }

  if (caption_.isEmpty()) return;
  int flags = Qt::TextSingleLine | Qt::TextShowMnemonic;
  flags |= text_align_h_ == AlignNear  ? Qt::AlignLeft
           : text_align_h_ == AlignFar ? Qt::AlignRight
                                       : Qt::AlignHCenter;
  flags |= text_align_v_ == AlignNear  ? Qt::AlignTop
           : text_align_v_ == AlignFar ? Qt::AlignBottom
                                       : Qt::AlignVCenter;
  QRect textRect = r.adjusted(4, 1, -4, -1);
  p.setFont(font());
  if (!isEnabled()) {
    p.setPen(colour(controls::vb3DHighlight));
    p.drawText(textRect.translated(1, 1), flags, caption_);
    p.setPen(colour(controls::vbButtonShadow));
    p.drawText(textRect, flags, caption_);
    return;
  }
  if (look == Look::Pressed) textRect.translate(1, 1);
  p.setPen(colour(text_colour_));
  p.drawText(textRect, flags, caption_);
}

void XPButton::setHoverState(bool inside) {
  if (inside == hovering_) return;
  const bool saved = no_refresh_;
  no_refresh_ = true;
  if (inside)
    emit MouseEnter();
  else
    emit MouseLeave();
  hovering_ = inside;
  mouse_pressed_ = false;
  no_refresh_ = saved;
  Refresh();
}

void XPButton::mousePressEvent(QMouseEvent* event) {
  const QPointF pos = event->position();
  emit MouseDown(buttonCode(event->button()), shiftCode(event->modifiers()), static_cast<float>(pos.x()),
                 static_cast<float>(pos.y()));
  if (!no_down_) {
    mouse_pressed_ = true;
    Refresh();
  }
}

void XPButton::mouseMoveEvent(QMouseEvent* event) {
  const QPointF pos = event->position();
  emit MouseMove(buttonCode(event->buttons()), shiftCode(event->modifiers()), static_cast<float>(pos.x()),
                 static_cast<float>(pos.y()));
  // While a button is held the mouse stays grabbed here, so leaving has to
  // be seen from the position; that is what cancels a press dragged off.
  if (tracking_) setHoverState(rect().contains(pos.toPoint()));
}

void XPButton::mouseReleaseEvent(QMouseEvent* event) {
  const QPointF pos = event->position();
  emit MouseUp(buttonCode(event->button()), shiftCode(event->modifiers()), static_cast<float>(pos.x()),
               static_cast<float>(pos.y()));
  if (no_down_) return;
  const bool was_pressed = mouse_pressed_;
  mouse_pressed_ = false;
  Refresh();
  if (was_pressed) emit Click();
}

void XPButton::mouseDoubleClickEvent(QMouseEvent*) { emit DblClick(); }

void XPButton::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  if (tracking_) setHoverState(true);
}

void XPButton::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (tracking_) setHoverState(false);
}

void XPButton::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  no_refresh_ = false;
  tracking_ = true;
  Refresh();
}

void XPButton::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  tracking_ = false;
}

void XPButton::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Refresh();
}

void XPButton::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange) {
    changed_ = true;
    Refresh();
  } else if (event->type() == QEvent::PaletteChange) {
    Refresh();
  }
}

bool XPButton::event(QEvent* event) {
  if (event->type() == QEvent::Shortcut) {
    auto* se = static_cast<QShortcutEvent*>(event);
    if (se->shortcutId() == shortcut_id_ && isEnabled()) {
      emit Click();
      return true;
    }
  }
  return QWidget::event(event);
}
