#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "results/PackHealth.h"

namespace voltrex::results {

class ResultsFolder;

// The packs at a glance: one row a pack, with its health against the
// threshold its owner replaces it at. The threshold and the note are edited
// here; the window keeps them (the model only says what was asked).
class PacksModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column {
        NameColumn,
        TypeColumn,
        CellsColumn,
        RatedColumn,
        HealthColumn,
        ReplaceAtColumn,
        PerMonthColumn,
        PerHundredColumn,
        ReplacementColumn,
        OhmsColumn,
        EfficiencyColumn,
        VoltsPerCellColumn,
        LastTestColumn,
        CyclesColumn,
        NoteColumn,
        ColumnCount
    };
    enum Role {
        SortRole = Qt::UserRole + 1,  // a number or a text the column sorts by
        PackRole,                     // the pack's id
        BandRole,                     // int: its HealthBand (unknown when retired)
        RetiredRole,                  // bool: its owner no longer uses it
    };

    explicit PacksModel(QObject* parent = nullptr);

    // The packs' health, and the owners' thresholds and notes, as the folder
    // has them now.
    void Show(const ResultsFolder& folder);
    const std::vector<PackHealth>& Health() const { return health_; }
    std::optional<int> RowOf(const QString& packId) const;
    bool Retired(std::size_t row) const { return retired_.at(row); }
    const std::vector<bool>& RetiredRows() const { return retired_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // How a trend reads: "−1.2 ± 0.4 %/month" (of the rating).
    static QString RateText(const Rate& rate, int rated, const char* unit);

  signals:
    // The owner changed a threshold (a share; none: back to the default) or
    // a note.
    void ReplaceAtEdited(const QString& packId, std::optional<double> share);
    void NoteEdited(const QString& packId, const QString& note);

  private:
    QVariant Display(std::size_t row, int column) const;
    QVariant SortValue(std::size_t row, int column) const;
    QString ReplacementText(std::size_t row) const;
    QString ReplacementTip(std::size_t row) const;

    std::vector<PackHealth> health_;
    std::vector<double> replaceAt_;
    std::vector<bool> ownThreshold_;
    std::vector<QString> notes_;
    std::vector<bool> retired_;
};

}  // namespace voltrex::results
