#pragma once

#include <QLabel>
#include <QString>

namespace voltrex {

// The dialogs place every control at a fixed pixel position, as designed for
// an 11-pixel font whose labels are 13 pixels high. A label is given its
// natural width and centred vertically on the 13-pixel line whose top is y, so
// that it lines up with the 21-pixel edit fields beside it.
inline QLabel* PlaceLabel(const QString& caption, QWidget* parent, int x, int y,
                          QWidget* buddy = nullptr) {
    auto* label = new QLabel(caption, parent);
    label->setTextFormat(Qt::PlainText);
    if (buddy != nullptr) {
        label->setBuddy(buddy);
    }
    const QSize size = label->sizeHint();
    label->setGeometry(x, y + (13 - size.height()) / 2, size.width(), size.height());
    return label;
}

}  // namespace voltrex
