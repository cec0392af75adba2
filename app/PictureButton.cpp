#include "app/PictureButton.h"

#include <QShortcutEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace voltrex {

namespace {
constexpr int PictureSize = 18;
// Room between the picture and the caption.
constexpr int CaptionGap = 2;
}  // namespace

PictureButton::PictureButton(const QString& caption, const QIcon& picture, QWidget* parent)
    : QPushButton(caption, parent) {
    setIcon(picture);
    setIconSize(QSize(PictureSize, PictureSize));
}

bool PictureButton::event(QEvent* event) {
    if (event->type() == QEvent::Shortcut) {
        const auto* shortcut = static_cast<QShortcutEvent*>(event);
        if (!shortcut->isAmbiguous() && isEnabled() && isVisible()) {
            if (focusPolicy() & Qt::TabFocus) {
                setFocus(Qt::ShortcutFocusReason);
            }
            click();
            return true;
        }
    }
    return QPushButton::event(event);
}

void PictureButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);

    // The frame as the style draws any push button (default-button ring,
    // pressed and hover states), without the style's own content.
    QStyleOptionButton bevel = option;
    bevel.text.clear();
    bevel.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButtonBevel, bevel);

    const QRect content = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    const int captionHeight = fontMetrics().height();
    const QSize picture = iconSize();
    int left = content.left();
    int top =
        content.top() + (content.height() - picture.height() - CaptionGap - captionHeight) / 2;
    if (isDown() || isChecked()) {
        left += style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this);
        top += style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this);
    }

    const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    const QPixmap pixmap = icon().pixmap(picture, devicePixelRatio(), mode);
    painter.drawPixmap(left + (content.width() - picture.width()) / 2, top, pixmap);

    int flags = Qt::AlignHCenter | Qt::AlignTop;
    flags |= style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this) ? Qt::TextShowMnemonic
                                                                             : Qt::TextHideMnemonic;
    const QRect caption(left, top + picture.height() + CaptionGap, content.width(), captionHeight);
    painter.drawItemText(caption, flags, palette(), isEnabled(), text(), QPalette::ButtonText);

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

}  // namespace voltrex
