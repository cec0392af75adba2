#pragma once

#include <QWidget>
#include <cstddef>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;

namespace voltrex::results {

class RecordsFilter;
class RecordsModel;
struct PackGrouping;

// The records tab: the results file's lines as a table, filtered by pack,
// mode and text, with the buttons for what to do with the selected records.
// Its buttons only ask; the window does.
class RecordsPage : public QWidget {
    Q_OBJECT

  public:
    // The model and its filter belong to the window.
    RecordsPage(RecordsModel* model, RecordsFilter* filter, QWidget* parent);

    QTableView* Table() const { return table_; }
    QComboBox* PackBox() const { return pack_; }
    QComboBox* ModeBox() const { return mode_; }
    QLineEdit* FindEdit() const { return find_; }
    QLabel* ShownCount() const { return shownCount_; }

    // Shows the packs, keeping the one chosen; the filter follows.
    void FillPacks(const PackGrouping& grouping);
    // An unreadable line's text runs across the columns of the record it is
    // not; unreadable is how many such lines the file has.
    void UpdateSpans(int unreadable);
    void UpdateCount();
    // Puts the cursor into the find box.
    void Find();

    // The lines of the log selected (sorted), and the one at the cursor.
    std::vector<std::size_t> SelectedLines() const;
    void SelectLines(const std::vector<std::size_t>& lines);
    std::optional<std::size_t> CurrentLine() const;
    // Puts the cursor on the line without selecting it.
    void SetCurrentLine(std::size_t line);

  signals:
    void ShowCurvesRequested();
    void ShowHistoryRequested();
    void RenameRequested();
    void PutIntoPackRequested();
    void SelectionChanged();
    // The view's rows changed (filtered, sorted, reloaded).
    void RowsChanged();

  private:
    RecordsModel* model_;
    RecordsFilter* filter_;
    QComboBox* pack_;
    QComboBox* mode_;
    QLineEdit* find_;
    QLabel* shownCount_;
    QTableView* table_;
};

}  // namespace voltrex::results
