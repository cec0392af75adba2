#pragma once

#include <QIcon>
#include <QPushButton>

namespace voltrex {

// A push button with a small picture above its caption, as the program's
// buttons carry. It is a real push button, so it can be a dialog's default
// button (Enter); the caption's '&' marks its accelerator (Alt + letter).
//
// The accelerator clicks at once, as a mouse click does, instead of the
// toolkit's 100 ms animated press: the handler then runs within the key
// press, so a test started from the keyboard begins at once, whatever the
// event loop does next.
class PictureButton : public QPushButton {
    Q_OBJECT

  public:
    PictureButton(const QString& caption, const QIcon& picture, QWidget* parent);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace voltrex
