#include "results/CapacityPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include "platform/CFormat.h"
#include "records/CalendarTime.h"
#include "results/CapacityChart.h"
#include "results/PackBox.h"
#include "results/Plural.h"
#include "results/ResultsFolder.h"
#include "results/Widgets.h"

namespace voltrex::results {

CapacityPage::CapacityPage(QWidget* parent) : QWidget(parent) {
    pack_ = new QComboBox(this);
    pack_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    pack_->setMinimumContentsLength(26);
    summary_ = new QLabel(this);
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    chart_ = new CapacityChart(this);
    fromZero_ = new QCheckBox(tr("Start the axis at &0"), this);
    fromZero_->setToolTip(tr("The capacity axis from 0 mAh, or fitted to the discharges"));
    connect(fromZero_, &QCheckBox::toggled, chart_, &CapacityChart::SetFromZero);
    connect(fromZero_, &QCheckBox::toggled, this, &CapacityPage::ShowSummary);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Row(this, {BuddyLabel(tr("&Pack:"), pack_, this), pack_, fromZero_}));
    layout->addWidget(summary_);
    layout->addWidget(chart_, 1);
    connect(pack_, &QComboBox::currentIndexChanged, this, &CapacityPage::PackChosen);
    connect(chart_, &CapacityChart::DischargeClicked, this, &CapacityPage::DischargeClicked);
}

void CapacityPage::FillPacks(const ResultsFolder& folder) {
    FillPackBox(pack_, folder.Grouping(), false, pack_->currentData().toString());
}

void CapacityPage::ChoosePack(const QString& packId) {
    const int index = pack_->findData(packId);
    if (index >= 0) {
        pack_->setCurrentIndex(index);
    }
}

void CapacityPage::Show(const ResultsFolder& folder) {
    const PackGrouping& grouping = folder.Grouping();
    const std::optional<std::size_t> pack = grouping.Find(Std(pack_->currentData().toString()));
    if (!pack) {
        chart_->Show(QString(), {});
        summaryText_ = grouping.Packs.empty() ? tr("No records yet: a pack's history starts with "
                                                   "its first discharge in the main program.")
                                              : QString();
        ShowSummary();
        return;
    }
    const Pack& p = grouping.Packs[*pack];
    const std::vector<CapacityPoint> points = CapacityHistory(folder.Log(), p);
    const HealthSettings settings = folder.HealthSettingsOf(p.Id);
    const PackHealth health = HealthOf(folder.Log(), p, settings);
    chart_->Show(Text(p.Name), points, health);
    const std::optional<CapacitySummary> summary = SummaryOf(points);
    if (!summary) {
        summaryText_ =
            tr("%1 has %2 but no discharge yet: a discharge measures what the pack holds.")
                .arg(Text(p.Name),
                     Counted(static_cast<long long>(p.Lines.size()), "record", "records"));
        ShowSummary();
        return;
    }
    const CapacitySummary& s = *summary;
    QString text = Counted(static_cast<long long>(s.Discharges), "discharge", "discharges");
    if (health.FullDischarges != s.Discharges) {
        text += tr(" (%1 from full)").arg(health.FullDischarges);
    }
    text += tr(" from %1 to %2.")
                .arg(QLocale().toString(DateTimeOf(s.First).date(), QLocale::ShortFormat),
                     QLocale().toString(DateTimeOf(s.Latest).date(), QLocale::ShortFormat));
    text += tr(" Latest %1 mAh").arg(Text(Format("%.1f", s.LatestMilliampHours)));
    if (s.Rated > 0) {
        text += Text(Format(" (%.1f %% of the rated %d mAh)",
                            100.0 * s.LatestMilliampHours / s.Rated, s.Rated));
    }
    text += tr(", best %1 mAh; internal resistance %2 \u03A9 then, %3 \u03A9 now.")
                .arg(Text(Format("%.1f", s.BestMilliampHours)), Text(Format("%.4f", s.FirstOhms)),
                     Text(Format("%.4f", s.LatestOhms)));
    if (health.StateOfHealth) {
        text += Text(Format(" State of health %.1f %% (replaced below %g %%): ",
                            *health.StateOfHealth * 100.0, settings.ReplaceAt * 100.0));
        const Replacement& r = health.Replace;
        switch (r.Verdict) {
            case Outlook::Reached:
                text += tr("replace it now.");
                break;
            case Outlook::NotFading:
                text += tr("not fading.");
                break;
            case Outlook::Fading:
                text +=
                    r.Date ? tr("reaches it about %1")
                                 .arg(QLocale().toString(DateTimeOf(CalendarTimeAt(*r.Date)).date(),
                                                         QStringLiteral("MMM yyyy")))
                           : tr("reaches it");
                text += r.Cycle ? tr(", cycle %1.").arg(*r.Cycle) : QStringLiteral(".");
                break;
            case Outlook::Unknown:
                text += tr("too few discharges from full for a trend.");
                break;
        }
    }
    summaryText_ = text;
    ShowSummary();
}

void CapacityPage::ShowSummary() {
    const int hidden = chart_->MarkedOutOfSight();
    summary_->setText(hidden == 0 ? summaryText_
                                  : summaryText_ + tr(" %1 beyond the axis: Start the axis at 0 "
                                                      "shows them.")
                                                       .arg(Counted(hidden,
                                                                    "discharge not from "
                                                                    "full lies",
                                                                    "discharges not from "
                                                                    "full lie")));
}

}  // namespace voltrex::results
