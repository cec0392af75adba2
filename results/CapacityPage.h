#pragma once

#include <QString>
#include <QWidget>
#include <cstddef>

class QCheckBox;
class QComboBox;
class QLabel;

namespace voltrex::results {

class CapacityChart;
class ResultsFolder;

// The capacity history tab: a pack's discharges over time, and a summary of
// them in words.
class CapacityPage : public QWidget {
    Q_OBJECT

  public:
    explicit CapacityPage(QWidget* parent);

    QComboBox* PackBox() const { return pack_; }
    QLabel* Summary() const { return summary_; }
    CapacityChart* Chart() const { return chart_; }
    QCheckBox* FromZero() const { return fromZero_; }

    // Shows the pack chosen in the folder as it is now; FillPacks first after
    // a load.
    void FillPacks(const ResultsFolder& folder);
    void Show(const ResultsFolder& folder);
    // Chooses the pack, if there is such a pack.
    void ChoosePack(const QString& packId);

  signals:
    void PackChosen();
    // A discharge's point was clicked: the line of its record.
    void DischargeClicked(std::size_t line);

  private:
    // The summary, and how many discharges the axis leaves out of sight.
    void ShowSummary();

    QComboBox* pack_;
    QLabel* summary_;
    QString summaryText_;
    CapacityChart* chart_;
    QCheckBox* fromZero_;
};

}  // namespace voltrex::results
