#include "app/UpDown.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

namespace voltrex {

namespace {

QToolButton* MakeArrow(Qt::ArrowType arrow, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

UpDown::UpDown(int minimum, int maximum, int position, QWidget* parent)
    : QWidget(parent),
      minimum_(minimum),
      maximum_(maximum),
      position_(std::clamp(position, minimum, maximum)),
      up_(MakeArrow(Qt::UpArrow, this)),
      down_(MakeArrow(Qt::DownArrow, this)) {
    connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
}

void UpDown::SetAssociate(QLineEdit* edit) {
    if (associate_ != nullptr) {
        associate_->removeEventFilter(this);
    }
    associate_ = edit;
    if (associate_ != nullptr) {
        associate_->installEventFilter(this);
    }
}

void UpDown::Step(int steps) {
    int value = position_;
    if (associate_ != nullptr) {
        bool isNumber = false;
        const int typed = associate_->text().trimmed().toInt(&isNumber);
        if (isNumber) {
            value = typed;
        }
    }
    // Widen before adding so a typed extreme cannot overflow.
    const long long stepped = static_cast<long long>(value) + steps;
    position_ = static_cast<int>(std::clamp<long long>(stepped, minimum_, maximum_));
    if (associate_ != nullptr) {
        associate_->setText(QString::number(position_));
        associate_->selectAll();
    }
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == associate_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void UpDown::resizeEvent(QResizeEvent* /*event*/) {
    const int upper = (height() + 1) / 2;
    up_->setGeometry(0, 0, width(), upper);
    down_->setGeometry(0, upper, width(), height() - upper);
}

}  // namespace voltrex
