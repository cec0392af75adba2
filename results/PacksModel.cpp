#include "results/PacksModel.h"

#include <QBrush>
#include <QColor>
#include <QDate>
#include <QLocale>
#include <cmath>
#include <limits>

#include "platform/CFormat.h"
#include "records/CalendarTime.h"
#include "results/Plural.h"
#include "results/ResultsFolder.h"
#include "results/Widgets.h"

namespace voltrex::results {

namespace {

constexpr double Highest = std::numeric_limits<double>::infinity();

// A number with a real minus sign, as the trends read.
QString Signed(double value, const char* format) {
    QString text = Text(Format(format, std::fabs(value)));
    if (text.toDouble() == 0.0) {
        return text;
    }
    return (value < 0.0 ? QStringLiteral("\u2212") : QStringLiteral("+")) + text;
}

QDate DateOfSeconds(std::int64_t seconds) {
    const LocalTime time = CalendarTimeAt(seconds);
    return {time.Year, time.Month, time.Day};
}

QString MonthText(std::int64_t seconds) {
    return QLocale().toString(DateOfSeconds(seconds), QStringLiteral("MMM yyyy"));
}

}  // namespace

PacksModel::PacksModel(QObject* parent) : QAbstractTableModel(parent) {}

void PacksModel::Show(const ResultsFolder& folder) {
    beginResetModel();
    health_ = folder.Health();
    replaceAt_.clear();
    ownThreshold_.clear();
    notes_.clear();
    retired_.clear();
    for (const PackHealth& pack : health_) {
        retired_.push_back(folder.Names().Retired(pack.PackId));
        replaceAt_.push_back(folder.HealthSettingsOf(pack.PackId).ReplaceAt);
        ownThreshold_.push_back(folder.Names().ReplaceAt(pack.PackId).has_value());
        notes_.push_back(Text(folder.Names().PackNote(pack.PackId)));
    }
    endResetModel();
}

std::optional<int> PacksModel::RowOf(const QString& packId) const {
    for (std::size_t i = 0; i < health_.size(); ++i) {
        if (Text(health_[i].PackId) == packId) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

int PacksModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(health_.size());
}

int PacksModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString PacksModel::RateText(const Rate& rate, int rated, const char* unit) {
    if (rated <= 0) {
        return {};
    }
    const double scale = 100.0 / rated;
    QString text = Signed(rate.Value * scale, "%.1f");
    if (std::isfinite(rate.Low) && std::isfinite(rate.High)) {
        text += Text(Format(" \xC2\xB1 %.1f", (rate.High - rate.Low) / 2.0 * scale));
    }
    return text + QStringLiteral(" %/") + QString::fromUtf8(unit);
}

QString PacksModel::ReplacementText(std::size_t row) const {
    if (retired_[row]) {
        return tr("retired");
    }
    const Replacement& r = health_[row].Replace;
    switch (r.Verdict) {
        case Outlook::Reached:
            return tr("replace now");
        case Outlook::NotFading:
            return tr("not fading");
        case Outlook::Unknown:
            return {};
        case Outlook::Fading:
            break;
    }
    QStringList parts;
    if (r.Date) {
        parts << MonthText(*r.Date);
    }
    if (r.Cycle) {
        parts << tr("cycle %1").arg(*r.Cycle);
    }
    return parts.join(QStringLiteral(", "));
}

QString PacksModel::ReplacementTip(std::size_t row) const {
    const PackHealth& pack = health_[row];
    const Replacement& r = pack.Replace;
    const QString threshold = Text(Format("%.0f mAh (%g %% of %d mAh)", r.ThresholdMilliampHours,
                                          replaceAt_[row] * 100.0, pack.Rated));
    switch (r.Verdict) {
        case Outlook::Reached:
            return tr("Its capacity now is below %1: due for replacing.").arg(threshold);
        case Outlook::NotFading:
            return tr("Its capacity does not fall beyond doubt: no date for reaching %1.")
                .arg(threshold);
        case Outlook::Unknown:
            return pack.Rated <= 0 ? tr("No rating: no state of health.")
                                   : tr("Too few discharges from full for a trend.");
        case Outlook::Fading:
            break;
    }
    QString text = tr("When the trend reaches %1").arg(threshold);
    if (r.EarliestDate) {
        text += tr("\nDate: %1 at the earliest, %2")
                    .arg(MonthText(*r.EarliestDate),
                         r.LatestDate ? tr("%1 at the latest").arg(MonthText(*r.LatestDate))
                                      : tr("perhaps never"));
    }
    if (r.EarliestCycle) {
        text += tr("\nCycle: %1 at the earliest, %2")
                    .arg(*r.EarliestCycle)
                    .arg(r.LatestCycle ? tr("%1 at the latest").arg(*r.LatestCycle)
                                       : tr("perhaps never"));
    }
    return text;
}

QVariant PacksModel::Display(std::size_t row, int column) const {
    const PackHealth& p = health_[row];
    switch (column) {
        case NameColumn:
            return Text(p.Name);
        case TypeColumn:
            return Text(p.Type);
        case CellsColumn:
            return p.Cells > 0 ? QString::number(p.Cells) : QString();
        case RatedColumn:
            return p.Rated > 0 ? Text(Format("%d mAh", p.Rated)) : QString();
        case HealthColumn:
            return p.StateOfHealth ? Text(Format("%.1f %%", *p.StateOfHealth * 100.0)) : QString();
        case ReplaceAtColumn:
            return Text(Format("%g %%", replaceAt_[row] * 100.0));
        case PerMonthColumn:
            return p.CapacityTrend ? RateText(p.CapacityTrend->PerMonth, p.Rated, "month")
                                   : QString();
        case PerHundredColumn:
            return p.CapacityTrend
                       ? RateText(p.CapacityTrend->PerHundredCycles, p.Rated, "100 cycles")
                       : QString();
        case ReplacementColumn:
            return ReplacementText(row);
        case OhmsColumn:
            return p.Ohms ? Text(Format("%.4f \xCE\xA9", *p.Ohms)) : QString();
        case EfficiencyColumn: {
            const std::optional<RecentEfficiency> recent = RecentEfficiencyOf(p);
            return recent ? Text(Format("%.1f %%", recent->Charge * 100.0)) : QString();
        }
        case VoltsPerCellColumn:
            return p.VoltsPerCell ? Text(Format("%.3f V", *p.VoltsPerCell)) : QString();
        case LastTestColumn:
            return p.LastTest ? QLocale().toString(DateOfSeconds(*p.LastTest), QLocale::ShortFormat)
                              : QString();
        case CyclesColumn:
            return p.Cycles;
        case NoteColumn:
            return NoteOnOneLine(notes_[row]);
        default:
            return {};
    }
}

QVariant PacksModel::SortValue(std::size_t row, int column) const {
    // Unknown figures sort after every known one.
    const PackHealth& p = health_[row];
    const auto number = [](const auto& value) -> double { return value ? *value : Highest; };
    const auto rate = [&](bool perMonth) -> double {
        if (!p.CapacityTrend || p.Rated <= 0) {
            return Highest;
        }
        const Rate& r = perMonth ? p.CapacityTrend->PerMonth : p.CapacityTrend->PerHundredCycles;
        return r.Value / p.Rated;
    };
    switch (column) {
        case NameColumn:
            return Text(p.Name).toLower();
        case TypeColumn:
            return Text(p.Type).toLower();
        case CellsColumn:
            return p.Cells > 0 ? p.Cells : Highest;
        case RatedColumn:
            return p.Rated > 0 ? p.Rated : Highest;
        case HealthColumn:
            return number(p.StateOfHealth);
        case ReplaceAtColumn:
            return replaceAt_[row];
        case PerMonthColumn:
            return rate(true);
        case PerHundredColumn:
            return rate(false);
        case ReplacementColumn:
            // Due now first, then by the projected date (or cycle), then the
            // packs that do not fade, then those too little known; the
            // retired last.
            if (retired_[row]) {
                return Highest;
            }
            switch (p.Replace.Verdict) {
                case Outlook::Reached:
                    return -Highest;
                case Outlook::Fading:
                    if (p.Replace.Date) {
                        return static_cast<double>(*p.Replace.Date);
                    }
                    return 1e15 + p.Replace.Cycle.value_or(0);
                case Outlook::NotFading:
                    return 1e16;
                case Outlook::Unknown:
                    return Highest;
            }
            return Highest;
        case OhmsColumn:
            return number(p.Ohms);
        case EfficiencyColumn: {
            const std::optional<RecentEfficiency> recent = RecentEfficiencyOf(p);
            return recent ? recent->Charge : Highest;
        }
        case VoltsPerCellColumn:
            return number(p.VoltsPerCell);
        case LastTestColumn:
            return p.LastTest ? static_cast<double>(*p.LastTest) : -Highest;
        case CyclesColumn:
            return p.Cycles;
        case NoteColumn:
            return notes_[row].toLower();
        default:
            return {};
    }
}

QVariant PacksModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= health_.size()) {
        return {};
    }
    const auto row = static_cast<std::size_t>(index.row());
    const int column = index.column();
    const PackHealth& p = health_[row];
    // A retired pack is no longer judged: no colour, greyed.
    const HealthBand band = retired_[row] ? HealthBand::Unknown : BandOf(p, replaceAt_[row]);
    switch (role) {
        case Qt::DisplayRole:
            return Display(row, column);
        case Qt::EditRole:
            if (column == ReplaceAtColumn) {
                return replaceAt_[row] * 100.0;
            }
            return column == NoteColumn ? NoteOnOneLine(notes_[row]) : Display(row, column);
        case SortRole:
            return SortValue(row, column);
        case PackRole:
            return Text(p.PackId);
        case BandRole:
            return static_cast<int>(band);
        case RetiredRole:
            return static_cast<bool>(retired_[row]);
        case Qt::TextAlignmentRole:
            if (column == NameColumn || column == TypeColumn || column == NoteColumn ||
                column == ReplacementColumn) {
                return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
            }
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        case Qt::BackgroundRole:
            if (column == HealthColumn ||
                (column == ReplacementColumn && p.Replace.Verdict == Outlook::Reached)) {
                switch (band) {
                    case HealthBand::Replace:
                        return QBrush(QColor(0xF4, 0xB6, 0xB0));
                    case HealthBand::Near:
                        return QBrush(QColor(0xFC, 0xE0, 0x9A));
                    case HealthBand::Good:
                        return QBrush(QColor(0xC4, 0xE6, 0xBC));
                    case HealthBand::Unknown:
                        break;
                }
            }
            return {};
        case Qt::ForegroundRole:
            if (retired_[row] || (column == ReplaceAtColumn && !ownThreshold_[row])) {
                return QBrush(QColor(0x70, 0x70, 0x70));  // retired, or the default threshold
            }
            return {};
        case Qt::ToolTipRole:
            switch (column) {
                case HealthColumn:
                    if (!p.StateOfHealth) {
                        return p.Rated <= 0 ? tr("No rating: no state of health.")
                                            : tr("No discharge from full yet.");
                    }
                    return tr("%1 mAh now (the median of its latest discharges from full) "
                              "against the rated %2 mAh; %3.")
                        .arg(Text(Format("%.0f", p.Capacity.value_or(0.0))))
                        .arg(p.Rated)
                        .arg(retired_[row]                 ? tr("retired by its owner")
                             : band == HealthBand::Replace ? tr("below its threshold: replace it")
                             : band == HealthBand::Near
                                 ? tr("within %1 points of its threshold").arg(NearThresholdPoints)
                                 : tr("well above its threshold"));
                case ReplaceAtColumn:
                    return ownThreshold_[row]
                               ? tr("Its owner's threshold (edit it; empty for the default)")
                               : tr("The default threshold (edit it for this pack)");
                case ReplacementColumn:
                    return ReplacementTip(row);
                case EfficiencyColumn: {
                    const std::optional<RecentEfficiency> recent = RecentEfficiencyOf(p);
                    if (!recent) {
                        return tr("No charge recorded before a discharge from full.");
                    }
                    QString text = tr("%1 of the charge put in came out")
                                       .arg(Text(Format("%.1f %%", recent->Charge * 100.0)));
                    if (recent->Energy) {
                        text += tr(", %1 of the energy")
                                    .arg(Text(Format("%.1f %%", *recent->Energy * 100.0)));
                    }
                    return text + tr(" (the mean of its latest %1).")
                                      .arg(Counted(static_cast<long long>(recent->Cycles), "cycle",
                                                   "cycles"));
                }
                case NoteColumn:
                    return notes_[row];
                default:
                    return {};
            }
        default:
            return {};
    }
}

bool PacksModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole ||
        static_cast<std::size_t>(index.row()) >= health_.size()) {
        return false;
    }
    const QString packId = Text(health_[static_cast<std::size_t>(index.row())].PackId);
    if (index.column() == ReplaceAtColumn) {
        if (value.toString().trimmed().isEmpty()) {
            emit ReplaceAtEdited(packId, std::nullopt);
            return true;
        }
        bool number = false;
        const double percent = value.toDouble(&number);
        if (!number || !(percent >= LeastReplaceAt * 100.0 && percent <= 100.0)) {
            return false;
        }
        emit ReplaceAtEdited(packId, percent / 100.0);
        return true;
    }
    if (index.column() == NoteColumn) {
        emit NoteEdited(packId, NoteFromOneLine(value.toString()));
        return true;
    }
    return false;
}

Qt::ItemFlags PacksModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == ReplaceAtColumn || index.column() == NoteColumn) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

QVariant PacksModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) {
        return {};
    }
    static const char* const Titles[ColumnCount] = {
        QT_TR_NOOP("Pack"),       QT_TR_NOOP("Type"),           QT_TR_NOOP("Cells"),
        QT_TR_NOOP("Rated"),      QT_TR_NOOP("Health"),         QT_TR_NOOP("Replace at"),
        QT_TR_NOOP("Per month"),  QT_TR_NOOP("Per 100 cycles"), QT_TR_NOOP("Replace by"),
        QT_TR_NOOP("Resistance"), QT_TR_NOOP("Efficiency"),     QT_TR_NOOP("V/cell"),
        QT_TR_NOOP("Last test"),  QT_TR_NOOP("Cycles"),         QT_TR_NOOP("Note")};
    static const char* const Tips[ColumnCount] = {
        QT_TR_NOOP("The pack's name, or its type, rating and cells"),
        QT_TR_NOOP("Cell type"),
        QT_TR_NOOP("Cells in series"),
        QT_TR_NOOP("Rated capacity"),
        QT_TR_NOOP("State of health: its capacity now against its rating (red: below its "
                   "threshold, amber: close above it)"),
        QT_TR_NOOP("The share of its rating below which the pack is due for replacing"),
        QT_TR_NOOP("How fast its capacity changes, in % of its rating a month, with the "
                   "uncertainty of the trend"),
        QT_TR_NOOP("How fast its capacity changes, in % of its rating every 100 cycles"),
        QT_TR_NOOP("When the trend reaches the threshold: month and cycle (or retired)"),
        QT_TR_NOOP("Internal resistance now, of the whole pack"),
        QT_TR_NOOP("Charge efficiency: what its discharges gave against what the charge before "
                   "each put in, over its latest cycles"),
        QT_TR_NOOP("Mean voltage per cell under load in its latest discharge from full: packs "
                   "of different cell counts compare"),
        QT_TR_NOOP("Its latest record"),
        QT_TR_NOOP("Its discharges"),
        QT_TR_NOOP("Your note of the pack")};
    if (role == Qt::DisplayRole) {
        return tr(Titles[section]);
    }
    if (role == Qt::ToolTipRole) {
        return tr(Tips[section]);
    }
    return {};
}

}  // namespace voltrex::results
