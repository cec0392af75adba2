#pragma once

#include <QString>
#include <QWidget>
#include <optional>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTreeWidget;

namespace voltrex::results {

class PacksModel;
class ResultsFolder;

// The packs tab: every pack's health in one sortable table (the packs to
// retire first when sorted by health), and below it the sets of packs alike
// enough to be used together.
class PacksPage : public QWidget {
    Q_OBJECT

  public:
    explicit PacksPage(QWidget* parent);

    void Show(const ResultsFolder& folder);

    PacksModel* Model() const { return model_; }
    QSortFilterProxyModel* Sorted() const { return sorted_; }
    QTableView* Table() const { return table_; }
    QDoubleSpinBox* CapacityLimit() const { return capacityLimit_; }
    QDoubleSpinBox* ResistanceLimit() const { return resistanceLimit_; }
    QTreeWidget* Sets() const { return sets_; }
    QLabel* Summary() const { return summary_; }
    QCheckBox* ShowRetired() const { return showRetired_; }
    QPushButton* RetireButton() const { return retire_; }
    // The pack of the current row; empty when none.
    QString CurrentPackId() const;
    void SetCurrentPack(const QString& packId);

  signals:
    void HistoryRequested(const QString& packId);
    void ReplaceAtEdited(const QString& packId, std::optional<double> share);
    void NoteEdited(const QString& packId, const QString& note);
    void RetiredEdited(const QString& packId, bool retired);

  private:
    void ShowSets();
    void ShowSummary();
    void UpdateRetireButton();
    void EditNoteClicked();

    PacksModel* model_;
    QSortFilterProxyModel* sorted_;
    QTableView* table_;
    QLabel* summary_;
    QCheckBox* showRetired_;
    QPushButton* retire_;
    QDoubleSpinBox* capacityLimit_;
    QDoubleSpinBox* resistanceLimit_;
    QTreeWidget* sets_;
};

}  // namespace voltrex::results
