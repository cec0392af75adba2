#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <optional>
#include <vector>

#include "records/CurveFile.h"
#include "records/ResultsFile.h"
#include "results/PackGrouping.h"
#include "results/PackNames.h"

namespace voltrex::results {

// The lines of the results file as a table: one row per record, and one per
// line that is no record (marked, with its text), in file order.
class RecordsModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column {
        DateColumn,
        ModeColumn,
        CycleColumn,
        TypeColumn,
        RatedColumn,
        CellsColumn,
        MilliAmpsColumn,
        MilliampHoursColumn,
        MilliwattHoursColumn,
        OhmsColumn,
        VoltsPerCellColumn,
        PackColumn,
        CurveColumn,
        NoteColumn,
        ColumnCount
    };
    enum Role {
        SortRole = Qt::UserRole + 1,  // a number or a text the column sorts by
        LineRole,                     // the index of the line in the log
        PackRole,                     // the pack's id; empty for an unreadable line
        ReadableRole,                 // bool
        SearchRole,                   // the row's texts in one, for Find
    };

    explicit RecordsModel(QObject* parent = nullptr);

    // Shows the lines; the log, the grouping, the curves and the names (with
    // the records' notes) must outlive the next call.
    void Show(const ResultsFile* log, const PackGrouping* grouping,
              const std::vector<CurveFile>* curves,
              const std::vector<std::optional<std::size_t>>* curveOfLine, const PackNames* names);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A record's note is edited in its cell; the window keeps it.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // A sample text as wide as the column's widest entry, to size it by.
    static QString WidestText(int column);

  signals:
    void NoteEdited(std::size_t line, const QString& note);

  private:
    QVariant Display(const ResultLine& line, std::size_t index, int column) const;
    QVariant SortValue(const ResultLine& line, std::size_t index, int column) const;
    QString PackName(std::size_t index) const;
    QString CurveName(std::size_t index) const;
    QString Note(std::size_t index) const;
    // The search texts of the rows before until, made once.
    void MakeSearchTexts(std::size_t until) const;
    void MakeSomeSearchTexts();

    const ResultsFile* log_ = nullptr;
    const PackGrouping* grouping_ = nullptr;
    const std::vector<CurveFile>* curves_ = nullptr;
    const std::vector<std::optional<std::size_t>>* curveOfLine_ = nullptr;
    const PackNames* names_ = nullptr;
    // For an unreadable line: the time of the record before it, so sorting
    // by date keeps it where it was written.
    std::vector<double> sortSeconds_;
    // Records no pack can give (CapacityHistory.h, Implausible), marked.
    std::vector<bool> implausible_;
    // Each row's texts, made when first searched (a few thousand rows are
    // searched at every key pressed in the find box).
    mutable std::vector<QString> searchText_;
    QTimer searchTimer_;
};

}  // namespace voltrex::results
