#include "results/RecordsModel.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QIcon>
#include <QStyle>
#include <algorithm>
#include <limits>

#include "platform/CFormat.h"
#include "records/CalendarTime.h"
#include "results/CapacityHistory.h"
#include "results/Widgets.h"

namespace voltrex::results {

namespace {

constexpr double Lowest = -std::numeric_limits<double>::infinity();

}  // namespace

RecordsModel::RecordsModel(QObject* parent) : QAbstractTableModel(parent) {
    searchTimer_.setSingleShot(true);
    searchTimer_.setInterval(0);
    connect(&searchTimer_, &QTimer::timeout, this, &RecordsModel::MakeSomeSearchTexts);
}

void RecordsModel::Show(const ResultsFile* log, const PackGrouping* grouping,
                        const std::vector<CurveFile>* curves,
                        const std::vector<std::optional<std::size_t>>* curveOfLine,
                        const PackNames* names) {
    beginResetModel();
    names_ = names;
    log_ = log;
    grouping_ = grouping;
    curves_ = curves;
    curveOfLine_ = curveOfLine;
    sortSeconds_.clear();
    implausible_.clear();
    searchText_.clear();
    if (log_ != nullptr) {
        sortSeconds_.reserve(log_->Lines.size());
        implausible_.reserve(log_->Lines.size());
        for (const ResultLine& line : log_->Lines) {
            implausible_.push_back(line.Readable && Implausible(line.Record, log_->Written));
        }
        // Half a second after the record before it: between that record and
        // the next, whichever way the column is sorted.
        double previous = -1e18;
        for (const ResultLine& line : log_->Lines) {
            if (line.Readable) {
                previous = static_cast<double>(line.Record.Seconds);
                sortSeconds_.push_back(previous);
            } else {
                sortSeconds_.push_back(previous + 0.5);
            }
        }
    }
    endResetModel();
    // The texts Find searches are made meanwhile, so that the first key
    // pressed finds them ready.
    searchTimer_.start();
}

int RecordsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || log_ == nullptr ? 0 : static_cast<int>(log_->Lines.size());
}

int RecordsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString RecordsModel::PackName(std::size_t index) const {
    if (grouping_ == nullptr || index >= grouping_->PackOfLine.size() ||
        !grouping_->PackOfLine[index]) {
        return {};
    }
    return Text(grouping_->Packs[*grouping_->PackOfLine[index]].Name);
}

QString RecordsModel::CurveName(std::size_t index) const {
    if (curveOfLine_ == nullptr || curves_ == nullptr || index >= curveOfLine_->size() ||
        !(*curveOfLine_)[index]) {
        return {};
    }
    return Text((*curves_)[*(*curveOfLine_)[index]].Name);
}

QString RecordsModel::Note(std::size_t index) const {
    if (names_ == nullptr || log_ == nullptr || !log_->Lines[index].Readable) {
        return {};
    }
    return Text(names_->RecordNote(log_->Lines[index].Record.Id()));
}

QVariant RecordsModel::Display(const ResultLine& line, std::size_t index, int column) const {
    if (!line.Readable) {
        if (column == DateColumn) {
            return tr("Unreadable line %1").arg(line.LineNumber);
        }
        // The view spans this cell over the rest of the row.
        return column == ModeColumn ? Text(line.Text) : QVariant();
    }
    const ResultRecord& r = line.Record;
    switch (column) {
        case DateColumn:
            return Text(CalendarTimeText(r.Time));
        case ModeColumn:
            return Text(r.Mode);
        case CycleColumn:
            return r.Cycle == 0 ? QString() : Text(Format("%d of %d", r.Cycle, r.Of));
        case TypeColumn:
            return Text(r.Type);
        case RatedColumn:
            return Text(Format("%d", r.Rated));
        case CellsColumn:
            return Text(Format("%d", r.Cells));
        case MilliAmpsColumn:
            return Text(Format("%1.1f", r.MilliAmps));
        case MilliampHoursColumn:
            return Text(Format("%1.1f", r.MilliampHours));
        case MilliwattHoursColumn:
            return Text(Format("%1.1f", r.MilliwattHours));
        case OhmsColumn:
            return Text(Format("%1.4f", r.Ohms));
        case VoltsPerCellColumn:
            return Text(Format("%1.4f", r.VoltsPerCell));
        case PackColumn:
            return PackName(index);
        case CurveColumn:
            return CurveName(index);
        case NoteColumn:
            return NoteOnOneLine(Note(index));
        default:
            return {};
    }
}

QVariant RecordsModel::SortValue(const ResultLine& line, std::size_t index, int column) const {
    if (column == DateColumn) {
        return sortSeconds_[index];
    }
    const ResultRecord& r = line.Record;
    if (!line.Readable) {
        return column == ModeColumn ? QVariant(Text(line.Text)) : QVariant(Lowest);
    }
    switch (column) {
        case ModeColumn:
            return Text(r.Mode);
        case CycleColumn:
            return r.Cycle * 1000.0 + r.Of;
        case TypeColumn:
            return Text(r.Type);
        case RatedColumn:
            return r.Rated;
        case CellsColumn:
            return r.Cells;
        case MilliAmpsColumn:
            return r.MilliAmps;
        case MilliampHoursColumn:
            return r.MilliampHours;
        case MilliwattHoursColumn:
            return r.MilliwattHours;
        case OhmsColumn:
            return r.Ohms;
        case VoltsPerCellColumn:
            return r.VoltsPerCell;
        case PackColumn:
            return PackName(index);
        case CurveColumn:
            return CurveName(index);
        case NoteColumn:
            return Note(index).toLower();
        default:
            return {};
    }
}

QVariant RecordsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || log_ == nullptr) {
        return {};
    }
    const auto row = static_cast<std::size_t>(index.row());
    const ResultLine& line = log_->Lines[row];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return Display(line, row, column);
        case SortRole:
            return SortValue(line, row, column);
        case LineRole:
            return static_cast<qulonglong>(row);
        case SearchRole:
            MakeSearchTexts(log_->Lines.size());
            return searchText_[row];
        case ReadableRole:
            return line.Readable;
        case PackRole:
            if (grouping_ != nullptr && row < grouping_->PackOfLine.size() &&
                grouping_->PackOfLine[row]) {
                return Text(grouping_->Packs[*grouping_->PackOfLine[row]].Id);
            }
            return QString();
        case Qt::ToolTipRole:
            if (!line.Readable) {
                return tr("Line %1 of Voltrex2.csv is no record: %2.\n%3")
                    .arg(line.LineNumber)
                    .arg(Text(line.Problem), Text(line.Text));
            }
            if (implausible_[row]) {
                return tr(
                    "This record is beyond what a pack can give (a mistyped or damaged "
                    "line?): it is left out of the capacity chart's scale.");
            }
            if (column == CurveColumn && CurveName(row).isEmpty()) {
                return tr("No curve file in curves/ belongs to this record.");
            }
            if (column == NoteColumn) {
                return Note(row).isEmpty() ? tr("Your note of this record: click here on the "
                                                "chosen row to write one")
                                           : Note(row);
            }
            return {};
        case Qt::TextAlignmentRole:
            if (line.Readable && column >= CycleColumn && column <= VoltsPerCellColumn &&
                column != TypeColumn) {
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            }
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        case Qt::DecorationRole:
            if ((!line.Readable || implausible_[row]) && column == DateColumn) {
                return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
            }
            return {};
        case Qt::BackgroundRole:
            if (!line.Readable) {
                return QBrush(QColor(0xFF, 0xEB, 0xCC));
            }
            return {};
        case Qt::ForegroundRole:
            if (!line.Readable || implausible_[row]) {
                return QBrush(QColor(0x80, 0x30, 0x00));
            }
            return {};
        default:
            return {};
    }
}

void RecordsModel::MakeSearchTexts(std::size_t until) const {
    if (log_ == nullptr) {
        return;
    }
    until = std::min(until, log_->Lines.size());
    searchText_.reserve(log_->Lines.size());
    for (std::size_t i = searchText_.size(); i < until; ++i) {
        QString text;
        for (int c = 0; c < ColumnCount; ++c) {
            text += Display(log_->Lines[i], i, c).toString() + QChar(0x1F);
        }
        searchText_.push_back(text);
    }
}

void RecordsModel::MakeSomeSearchTexts() {
    // A few hundred rows a pass, between the window's other events.
    constexpr std::size_t RowsAPass = 300;
    MakeSearchTexts(searchText_.size() + RowsAPass);
    if (log_ != nullptr && searchText_.size() < log_->Lines.size()) {
        searchTimer_.start();
    }
}

bool RecordsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || index.column() != NoteColumn ||
        log_ == nullptr || !log_->Lines[static_cast<std::size_t>(index.row())].Readable) {
        return false;
    }
    emit NoteEdited(static_cast<std::size_t>(index.row()), NoteFromOneLine(value.toString()));
    return true;
}

Qt::ItemFlags RecordsModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == NoteColumn && log_ != nullptr &&
        log_->Lines[static_cast<std::size_t>(index.row())].Readable) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

QVariant RecordsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    static const char* const Titles[ColumnCount] = {
        QT_TR_NOOP("Date/Time"), QT_TR_NOOP("Mode"),  QT_TR_NOOP("Cycle"),  QT_TR_NOOP("Type"),
        QT_TR_NOOP("Rated"),     QT_TR_NOOP("Cells"), QT_TR_NOOP("mA"),     QT_TR_NOOP("mAh"),
        QT_TR_NOOP("mWh"),       QT_TR_NOOP("Ohms"),  QT_TR_NOOP("V/Cell"), QT_TR_NOOP("Pack"),
        QT_TR_NOOP("Curve"),     QT_TR_NOOP("Note")};
    static const char* const Tips[ColumnCount] = {
        QT_TR_NOOP("When the test ended (local time)"),
        QT_TR_NOOP("DIS: a discharge, CHG: a charge"),
        QT_TR_NOOP("The Auto Cycle's cycle, and its maximum"),
        QT_TR_NOOP("Cell type"),
        QT_TR_NOOP("Rated capacity, mAh"),
        QT_TR_NOOP("Cells in series"),
        QT_TR_NOOP("The discharge current, or a charge's initial current"),
        QT_TR_NOOP("Charge moved"),
        QT_TR_NOOP("Energy moved"),
        QT_TR_NOOP("Internal resistance measured at the start"),
        QT_TR_NOOP("Mean voltage per cell"),
        QT_TR_NOOP("The pack the record belongs to"),
        QT_TR_NOOP("The record's curve file in curves/"),
        QT_TR_NOOP("Your note of the record (a click on the chosen row's note writes one)")};
    if (section < 0 || section >= ColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return tr(Titles[section]);
    }
    if (role == Qt::ToolTipRole) {
        return tr(Tips[section]);
    }
    return {};
}

QString RecordsModel::WidestText(int column) {
    static const char* const Samples[ColumnCount] = {"2026-12-08 14:15:03",
                                                     "Mode",
                                                     "10 of 10",
                                                     "PbAcid",
                                                     "Rated",
                                                     "Cells",
                                                     "10000.0",
                                                     "10000.0",
                                                     "100000.0",
                                                     "0.0000",
                                                     "V/Cell",
                                                     "NiMH 2000 mAh \xC3\x97 12",
                                                     "20261208-141503-DIS.csv",
                                                     "A note of some length"};
    return QString::fromUtf8(Samples[column]);
}

}  // namespace voltrex::results
