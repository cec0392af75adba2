#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace voltrex {

// Up-down arrows bound to an edit field. The field stays a free text field:
// whatever the user types reaches the dialog's checks unchanged. The arrows
// (and the Up and Down keys in the field) step the number in the field by one
// within Min..Max and stop at the ends, without wrapping round; a field that
// does not hold a number steps on from the arrows' last position.
class UpDown : public QWidget {
    Q_OBJECT

  public:
    UpDown(int minimum, int maximum, int position, QWidget* parent);

    // The edit field the arrows step.
    void SetAssociate(QLineEdit* edit);

    int Min() const { return minimum_; }
    int Max() const { return maximum_; }
    int Position() const { return position_; }

    // One click on the up arrow (steps > 0) or the down arrow (steps < 0).
    void Step(int steps);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    int minimum_;
    int maximum_;
    int position_;
    QLineEdit* associate_ = nullptr;
    QToolButton* up_;
    QToolButton* down_;
};

}  // namespace voltrex
