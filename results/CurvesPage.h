#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace voltrex::results {

class CurveChartView;
struct ChartCurve;
class ResultsFolder;

// The curves tab: the folder's curve files as a list to check, and the
// checked ones overlaid against time or charge, with the cursor's readout.
class CurvesPage : public QWidget {
    Q_OBJECT

  public:
    // The folder belongs to the window and outlives the tab.
    CurvesPage(ResultsFolder& folder, QWidget* parent);

    QComboBox* PackBox() const { return pack_; }
    QTreeWidget* List() const { return list_; }
    CurveChartView* Chart() const { return chart_; }
    QLabel* Readout() const { return readout_; }
    QRadioButton* AgainstTime() const { return againstTime_; }
    QRadioButton* AgainstCharge() const { return againstCharge_; }
    QCheckBox* ByAge() const { return byAge_; }
    QPushButton* BackButton() const { return back_; }

    // Shows the folder's curves after a load, keeping the pack chosen and
    // the curves checked that are still there.
    void Fill();
    // Forgets the checked curves (another folder).
    void Forget() { checked_.clear(); }

    // The checked curves by file name, in start order.
    QStringList CheckedCurves() const;
    bool AnyChecked() const { return !checked_.isEmpty(); }
    void SetCheckedCurves(const QStringList& names);
    // Items added to the list, or checked, in one turn of the event loop:
    // a few milliseconds of the window's time.
    static constexpr int ItemsPerTurn = 100;
    void Replot();

  signals:
    // The chart shows other curves (once they are read).
    void Replotted();

  private:
    void FillList();
    // Adds the next batch of new items to the list.
    void AddItems();
    // Sets the next batch of the list's boxes to what is checked.
    void SyncChecks();
    void SortWhenDone();
    void FilterList();
    void ItemChanged(QTreeWidgetItem* item);
    void UpdateReadout();
    // The name of the pack of the folder's curve, for the list and legend.
    QString PackName(std::size_t curve) const;
    QWidget* BuildList();
    QWidget* BuildChart();

    ResultsFolder& folder_;
    QSet<QString> checked_;
    // The chart's copies of the summaries checked since the folder was last
    // read, by the folder's curve index (Replot).
    std::vector<std::shared_ptr<const ChartCurve>> chartCurves_;
    // The list's items by file name, and the names still to be added.
    QHash<QString, QTreeWidgetItem*> items_;
    // Each curve's index in the folder, by its file's name (FillList).
    QHash<QString, std::size_t> indexOf_;
    QStringList toAdd_;
    bool adding_ = false;
    int checkFrom_ = 0;  // the first item SyncChecks has yet to set
    bool syncing_ = false;
    bool filling_ = false;
    QTimer replot_;

    QComboBox* pack_;
    QTreeWidget* list_;
    CurveChartView* chart_;
    QLabel* readout_;
    QWidget* readoutArea_;
    QRadioButton* againstTime_;
    QRadioButton* againstCharge_;
    QCheckBox* byAge_;
    QPushButton* back_;
};

}  // namespace voltrex::results
