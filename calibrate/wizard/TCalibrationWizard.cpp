#include "calibrate/wizard/TCalibrationWizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "app/MessageBoxes.h"
#include "app/VoltrexApplication.h"
#include "calibrate/CalibrationWriter.h"
#include "calibrate/EffectTexts.h"
#include "calibrate/MultiplierFit.h"
#include "calibrate/ReadingCheck.h"
#include "config/ConfigurationReader.h"
#include "instrument/PortBits.h"
#include "io/PortEntryPointList.h"
#include "platform/CFormat.h"

namespace voltrex {

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* Explanation(const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text));
    label->setWordWrap(true);
    return label;
}

// A page with a vertical layout; the layout is handed back.
// The page's heading is a label of its own: the wizard's title font is worked
// out from a point size, which the program's pixel-sized font does not have.
QWizardPage* MakePage(const char* title, QVBoxLayout*& layout) {
    auto* page = new QWizardPage;
    layout = new QVBoxLayout(page);
    auto* heading = new QLabel(QString::fromUtf8(title));
    QFont bold = heading->font();
    bold.setBold(true);
    bold.setPixelSize(15);
    heading->setFont(bold);
    layout->addWidget(heading);
    return page;
}

}  // namespace

TCalibrationWizard::TCalibrationWizard(Configuration& config, Instrument& instrument, Port& port,
                                       Clock& clock, std::string configurationPath, QWidget* parent)
    : QWizard(parent),
      config_(config),
      instrument_(instrument),
      port_(port),
      clock_(clock),
      configurationPath_(std::move(configurationPath)),
      probe_(std::make_unique<CurrentProbe>(instrument, clock)) {
    double unused = 0.0;
    simulated_ = port_.ReadSimulatedMeter(VOLTREX_METER_PACK_VOLTAGE, unused);
    setWindowTitle(QStringLiteral("Voltrex II Calibration Assistant"));
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::NoBackButtonOnStartPage);
    resize(640, 480);
    counts_ = DesignCounts();
    setPage(BoardPageId, MakeBoardPage());
    setPage(WeightsPageId, MakeWeightsPage());
    setPage(MultipliersPageId, MakeMultipliersPage());
    setPage(CurrentsPageId, MakeCurrentsPage());
    setPage(ReviewPageId, MakeReviewPage());
    setPage(VerifyPageId, MakeVerifyPage());
    timeLimitTimer_ = new QTimer(this);
    timeLimitTimer_->setInterval(250);
    connect(timeLimitTimer_, &QTimer::timeout, this,
            [this] { RunGuarded([this] { CheckTimeLimit(); }); });
    timeLimitTimer_->start();
    connect(this, &QWizard::currentIdChanged, this, [this](int id) {
        RunGuarded([this, id] {
            // A current never outlives its page.
            probe_->SwitchOff();
            if (id == WeightsPageId) {
                ShowWeightCount();
            } else if (id == CurrentsPageId) {
                ShowCurrentStep();
            } else if (id == VerifyPageId && !saved_) {
                SaveCalibrationFile();
            }
        });
    });
}

TCalibrationWizard::~TCalibrationWizard() {
    probe_->SwitchOff();
}

void TCalibrationWizard::done(int result) {
    // Finish, Cancel, Escape and the close box all come here.
    probe_->SwitchOff();
    if (instrument_.ControlLatch() != 0) {
        instrument_.AllOff();
    }
    QWizard::done(result);
}

QWidget* TCalibrationWizard::ReadingRow(QLineEdit*& edit, int probe) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    edit = new QLineEdit;
    layout->addWidget(edit);
    if (simulated_) {
        auto* button = new QPushButton(QStringLiteral("Read the simulated meter"));
        button->setToolTip(
            QStringLiteral("Simulated board only: fills in what its simulated meter shows."));
        QLineEdit* target = edit;
        connect(button, &QPushButton::clicked, this, [this, target, probe] {
            RunGuarded([this, target, probe] {
                double value = 0.0;
                if (port_.ReadSimulatedMeter(probe, value)) {
                    target->setText(Text(Format("%.6g", value)));
                }
            });
        });
        layout->addWidget(button);
    }
    return row;
}

bool TCalibrationWizard::TakeReading(QLineEdit* edit, double expected, double lowest,
                                     double highest, const char* unit, double& value) {
    bool ok = false;
    value = edit->text().trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (!ok) {
        ShowErrorBox(this, QStringLiteral("Please type the meter's reading as a number."));
        return false;
    }
    const ReadingVerdict verdict = CheckReading(value, expected, lowest, highest, unit);
    if (verdict.Verdict == ReadingVerdict::OutOfRange ||
        verdict.Verdict == ReadingVerdict::SlippedDecimal) {
        ShowErrorBox(this, Text(verdict.Text));
        edit->selectAll();
        return false;
    }
    if (verdict.Verdict == ReadingVerdict::FarFromExpected) {
        return AskYesNo(this, Text(verdict.Text));
    }
    return true;
}

QWizardPage* TCalibrationWizard::MakeBoardPage() {
    QVBoxLayout* layout = nullptr;
    QWizardPage* page = MakePage("The board", layout);
    const auto status = static_cast<std::uint16_t>(instrument_.PortAddress() + 1);
    instrument_.AllOff();
    instrument_.ClockCounterTo(0);
    const std::uint8_t atZero = port_.In(status);
    instrument_.ClockCounterTo(CounterRange - 1);
    const std::uint8_t atTop = port_.In(status);
    instrument_.ClockCounterTo(0);
    constexpr std::uint8_t both = LowSideComparator | HighSideComparator;
    const bool good = (atZero & both) == both && (atTop & both) == 0;
    layout->addWidget(Explanation(
        Format("Port 0x%X answers. Counter at 0: low-side %d, high-side %d (a connected board "
               "reads 1, 1). Counter at 4095: low-side %d, high-side %d (a connected board reads "
               "0, 0).\n%s",
               instrument_.PortAddress(), (atZero & LowSideComparator) != 0,
               (atZero & HighSideComparator) != 0, (atTop & LowSideComparator) != 0,
               (atTop & HighSideComparator) != 0,
               good ? "The board answers as it should."
                    : "The comparators did not flip as they should: check that the board is "
                      "powered and connected to this port, and that a pack is connected to the "
                      "sense leads.")
            .c_str()));
    if (simulated_) {
        layout->addWidget(
            Explanation("This is the simulated charger: no hardware is driven, "
                        "and \"Read the simulated meter\" fills in each reading."));
    }
    layout->addWidget(Explanation("Your meter:"));
    meterCombo_ = new QComboBox;
    meterCombo_->addItem(QString::fromLatin1(MeterTypeName(MeterType::FourAndAHalfDigits)));
    meterCombo_->addItem(QString::fromLatin1(MeterTypeName(MeterType::ThreeAndAHalfDigits)));
    layout->addWidget(meterCombo_);
    meterNameEdit_ = new QLineEdit;
    meterNameEdit_->setPlaceholderText(QStringLiteral("its make and model, for the history"));
    layout->addWidget(meterNameEdit_);
    layout->addWidget(Explanation(
        "Each step can be skipped; a skipped step keeps its lines of Voltrex2.ini as they are. "
        "Nothing is saved before the review."));
    layout->addStretch();
    return page;
}

QWizardPage* TCalibrationWizard::MakeWeightsPage() {
    QVBoxLayout* layout = nullptr;
    QWizardPage* page = MakePage("The converter's weights", layout);
    skipWeights_ = new QCheckBox(QStringLiteral("Skip this step (keep the weights)"));
    layout->addWidget(skipWeights_);
    layout->addWidget(Explanation(
        "Set the meter to DC volts, black probe on the board's ground, red probe on the D-to-A "
        "output. The assistant holds the counter at each of 26 counts; type what the meter "
        "shows."));
    weightLabel_ = new QLabel;
    layout->addWidget(weightLabel_);
    layout->addWidget(ReadingRow(weightEdit_, VOLTREX_METER_CONVERTER_OUTPUT));
    auto* take = new QPushButton(QStringLiteral("&Take reading"));
    connect(take, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { TakeWeightReading(); }); });
    layout->addWidget(take);
    weightReport_ = new QPlainTextEdit;
    weightReport_->setReadOnly(true);
    layout->addWidget(weightReport_);
    connect(skipWeights_, &QCheckBox::toggled, page, &QWizardPage::completeChanged);
    return page;
}

void TCalibrationWizard::ShowWeightCount() {
    if (readings_.size() >= counts_.size()) {
        return;
    }
    const std::int32_t count = counts_[readings_.size()];
    instrument_.ClockCounterTo(count);
    weightLabel_->setText(
        Text(Format("Reading %zu of %zu: the counter holds count %d (about "
                    "%.4f V by the present weights).",
                    readings_.size() + 1, counts_.size(), count,
                    WeightSum(count, config_.Calibration.BitWeights))));
    weightEdit_->clear();
    weightEdit_->setFocus();
}

void TCalibrationWizard::TakeWeightReading() {
    if (readings_.size() >= counts_.size()) {
        return;
    }
    const std::int32_t count = counts_[readings_.size()];
    double volts = 0.0;
    if (!TakeReading(weightEdit_, WeightSum(count, config_.Calibration.BitWeights), -0.1, 5.0, "V",
                     volts)) {
        return;
    }
    const auto meter = static_cast<MeterType>(meterCombo_->currentIndex() == 0 ? 1 : 0);
    readings_.push_back({count, volts, MeterResolution(meter, volts, false)});
    if (readings_.size() < counts_.size()) {
        ShowWeightCount();
        return;
    }
    // The repeat: the first reading of the same count against the last.
    const CountReading* first = nullptr;
    for (const CountReading& reading : readings_) {
        if (reading.Count == RepeatedCount) {
            first = &reading;
            break;
        }
    }
    if (auto repeat = CheckRepeat(meter, first->Volts, readings_.back().Volts)) {
        ShowErrorBox(this, Text(*repeat));
        readings_.clear();
        ShowWeightCount();
        return;
    }
    fit_ = FitWeights(readings_);
    const double repeatDigits =
        std::fabs(first->Volts - readings_.back().Volts) / readings_.back().Resolution;
    std::string report = Format(
        "Fit residual %.3f mV RMS (%.1f digits of the meter). The "
        "converter's offset, which the configuration cannot hold, is "
        "%.3f mV: %s.\n",
        fit_.ResidualRms * 1000.0, fit_.ResidualDigits, fit_.Offset * 1000.0,
        OffsetEffect(fit_.Offset, config_.Calibration).c_str());
    if (auto noisy = CheckFitAgainstNoise(fit_, repeatDigits)) {
        report += *noisy + "\n";
        fit_.Determined = false;
    }
    const WeightFindings findings = CheckWeights(fit_.Weights, config_.Calibration.BitWeights);
    for (const std::string& fault : findings.Faults) {
        report += fault + "\n";
        fit_.Determined = false;
    }
    if (fit_.Determined && !findings.FarFromOld.empty()) {
        std::string doubts = "These weights are far from the old ones:\n";
        for (const std::string& doubt : findings.FarFromOld) {
            doubts += doubt + "\n";
        }
        fit_.Determined = AskYesNo(this, Text(doubts + "Take them?"));
    }
    if (!fit_.Determined) {
        report += "The weights are not taken; read the counts again or skip the step.\n";
        readings_.clear();
        ShowWeightCount();
    } else {
        result_.BitWeights = fit_.Weights;
        result_.WeightResidualRms = fit_.ResidualRms;
        result_.ConverterOffset = fit_.Offset;
        instrument_.ClockCounterTo(0);
        weightLabel_->setText(QStringLiteral("All counts read."));
        weightEdit_->clear();
    }
    weightReport_->setPlainText(Text(report));
    currentPage()->completeChanged();
}

CalibrationBlock TCalibrationWizard::NewBlock() const {
    CalibrationBlock block = config_.Calibration;
    if (result_.BitWeights) {
        block.BitWeights = *result_.BitWeights;
    }
    if (result_.LowSideMultiplier) {
        block.LowSideMultiplier = *result_.LowSideMultiplier;
    }
    if (result_.HighSideMultiplier) {
        block.HighSideMultiplier = *result_.HighSideMultiplier;
    }
    return block;
}

QWizardPage* TCalibrationWizard::MakeMultipliersPage() {
    QVBoxLayout* layout = nullptr;
    QWizardPage* page = MakePage("The two multipliers", layout);
    skipMultipliers_ = new QCheckBox(QStringLiteral("Skip this step (keep the multipliers)"));
    layout->addWidget(skipMultipliers_);
    layout->addWidget(Explanation(
        "Connect a pack (no current flows). With the meter on DC volts, read the pack across "
        "its terminals (black on the negative terminal, red on the positive):"));
    layout->addWidget(ReadingRow(packEdit_, VOLTREX_METER_PACK_VOLTAGE));
    layout->addWidget(Explanation(
        "then the pack's negative terminal against the board's ground (black on ground, red on "
        "the negative terminal):"));
    layout->addWidget(ReadingRow(negativeEdit_, VOLTREX_METER_NEGATIVE_TERMINAL));
    auto* calculate = new QPushButton(QStringLiteral("&Calculate"));
    connect(calculate, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { MeasureMultipliers(); }); });
    layout->addWidget(calculate);
    multiplierReport_ = new QPlainTextEdit;
    multiplierReport_->setReadOnly(true);
    layout->addWidget(multiplierReport_);
    return page;
}

void TCalibrationWizard::MeasureMultipliers() {
    result_.LowSideMultiplier.reset();
    result_.HighSideMultiplier.reset();
    const CalibrationBlock block = NewBlock();
    instrument_.AllOff();
    const ComparatorLevels levels = MeasureComparatorLevels(instrument_, block, 20);
    const double expectedPack =
        levels.HighSum * block.HighSideMultiplier - levels.LowSum * block.LowSideMultiplier;
    double pack = 0.0;
    double negative = 0.0;
    if (!TakeReading(packEdit_, expectedPack, 0.0, 60.0, "V", pack) ||
        !TakeReading(negativeEdit_, levels.LowSum * block.LowSideMultiplier, -1.0, 1.0, "V",
                     negative)) {
        return;
    }
    const MultiplierFit fit = FitMultipliers(levels, pack, negative);
    // A multiplier far from the old one is taken only on the owner's word.
    const auto farFrom = [](double updated, double old) {
        return old > 0.0 && (updated / old > 1.5 || old / updated > 1.5);
    };
    if ((fit.Low && farFrom(*fit.Low, block.LowSideMultiplier)) ||
        (fit.High && farFrom(*fit.High, block.HighSideMultiplier))) {
        if (!AskYesNo(this, Text(Format("The multipliers come out at %.6g (low side, was %.6g) "
                                        "and %.6g (high side, was %.6g). Take them?",
                                        fit.Low.value_or(block.LowSideMultiplier),
                                        block.LowSideMultiplier,
                                        fit.High.value_or(block.HighSideMultiplier),
                                        block.HighSideMultiplier)))) {
            return;
        }
    }
    result_.LowSideMultiplier = fit.Low;
    result_.HighSideMultiplier = fit.High;
    if (block.BitWeights[0] > 0.0) {
        lowCount_ = levels.LowSum / block.BitWeights[0];
    }
    std::string report;
    report += fit.Low ? Format("Low-side multiplier %.6g (was %.6g).\n", *fit.Low,
                               config_.Calibration.LowSideMultiplier)
                      : fit.LowReason + "\n";
    report += fit.High ? Format("High-side multiplier %.6g (was %.6g).\n", *fit.High,
                                config_.Calibration.HighSideMultiplier)
                       : fit.HighReason + "\n";
    multiplierReport_->setPlainText(Text(report));
}

QWizardPage* TCalibrationWizard::MakeCurrentsPage() {
    QVBoxLayout* layout = nullptr;
    QWizardPage* page = MakePage("The currents", layout);
    skipCurrents_ = new QCheckBox(QStringLiteral("Skip this step (keep the rate table)"));
    layout->addWidget(skipCurrents_);
    layout->addWidget(Explanation(
        "Put the meter in series with the pack on its DC amperes range (or read the volts "
        "across a known resistor in series and give its resistance here; 0 for an ammeter). "
        "Each rate is switched on for a minute at most: type the reading in that time."));
    auto* shuntRow = new QHBoxLayout;
    shuntRow->addWidget(new QLabel(QStringLiteral("Resistor in series, ohms (0 for an ammeter):")));
    shuntEdit_ = new QLineEdit(QStringLiteral("0"));
    shuntRow->addWidget(shuntEdit_);
    layout->addLayout(shuntRow);
    currentLabel_ = new QLabel;
    layout->addWidget(currentLabel_);
    SwitchOnButton = new QPushButton(QStringLiteral("Switch &on"));
    connect(SwitchOnButton, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { SwitchCurrentOn(); }); });
    layout->addWidget(SwitchOnButton);
    layout->addWidget(ReadingRow(CurrentEdit, VOLTREX_METER_SERIES_CURRENT));
    auto* take = new QPushButton(QStringLiteral("&Take reading"));
    connect(take, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { TakeCurrentReading(); }); });
    layout->addWidget(take);
    layout->addStretch();
    for (const bool charge : {false, true}) {
        const int rates = charge ? config_.ChargeRateCount - 1 : HighestRate;
        for (int rate = 1; rate <= rates && rate <= HighestRate; ++rate) {
            currentSteps_.emplace_back(charge, rate);
        }
    }
    return page;
}

void TCalibrationWizard::ShowCurrentStep() {
    if (currentStep_ >= currentSteps_.size()) {
        currentLabel_->setText(QStringLiteral("All rates read."));
        SwitchOnButton->setEnabled(false);
        return;
    }
    const auto [charge, rate] = currentSteps_[currentStep_];
    currentLabel_->setText(Text(
        Format("Next: %s at rate %d (%.1f mA by the table).", charge ? "charge" : "discharge", rate,
               (charge ? config_.ChargeCurrent
                       : config_.DischargeCurrent)[static_cast<std::size_t>(rate)] *
                   1000.0)));
    SwitchOnButton->setEnabled(true);
}

void TCalibrationWizard::SwitchCurrentOn() {
    if (currentStep_ >= currentSteps_.size()) {
        return;
    }
    const auto [charge, rate] = currentSteps_[currentStep_];
    probe_->SwitchOn(rate, charge);
    currentLabel_->setText(Text(
        Format("%s at rate %d is on: read the meter.", charge ? "Charge" : "Discharge", rate)));
    CurrentEdit->clear();
    CurrentEdit->setFocus();
}

void TCalibrationWizard::CheckTimeLimit() {
    if (probe_->EnforceTimeLimit()) {
        ShowErrorBox(this, QStringLiteral("The current was switched off: no reading came within "
                                          "a minute. Switch it on again when you are ready."));
        ShowCurrentStep();
    }
}

void TCalibrationWizard::TakeCurrentReading() {
    if (!probe_->IsOn()) {
        ShowErrorBox(this, QStringLiteral("Switch the current on first."));
        return;
    }
    const bool charge = probe_->Charge();
    const int rate = probe_->Rate();
    const auto row = static_cast<std::size_t>(rate);
    const auto& table = charge ? config_.ChargeCurrent : config_.DischargeCurrent;
    const double shunt = shuntEdit_->text().toDouble();
    double reading = 0.0;
    const double expected = shunt > 0.0 ? table[row] * shunt : table[row];
    const bool taken =
        TakeReading(CurrentEdit, expected, -20.0, 20.0, shunt > 0.0 ? "V" : "A", reading);
    // Off before anything else is asked.
    probe_->SwitchOff();
    if (!taken) {
        ShowCurrentStep();
        return;
    }
    const double amperes = CurrentFromReading(reading, shunt);
    auto& column = charge ? result_.ChargeCurrent : result_.DischargeCurrent;
    const double below = rate == 1 ? 0.0 : column[row - 1].value_or(table[row - 1]);
    if (auto finding = CheckCurrent(amperes, table[row], below, rate, charge)) {
        if (finding->Fault) {
            ShowErrorBox(this, Text(finding->Text + " Please read it again."));
            ShowCurrentStep();
            return;
        }
        if (!AskYesNo(this, Text(finding->Text + " Take it?"))) {
            ShowCurrentStep();
            return;
        }
    }
    column[row] = amperes;
    ++currentStep_;
    ShowCurrentStep();
}

QWizardPage* TCalibrationWizard::MakeReviewPage() {
    QVBoxLayout* layout = nullptr;
    QWizardPage* page = MakePage("Review and save", layout);
    layout->addWidget(
        Explanation("Next saves these values into Voltrex2.ini (the previous "
                    "file is kept as a dated copy)."));
    reviewText_ = new QPlainTextEdit;
    reviewText_->setReadOnly(true);
    layout->addWidget(reviewText_);
    connect(this, &QWizard::currentIdChanged, this, [this](int id) {
        if (id != ReviewPageId) {
            return;
        }
        if (skipWeights_->isChecked()) {
            result_.BitWeights.reset();
        }
        if (skipMultipliers_->isChecked()) {
            result_.LowSideMultiplier.reset();
            result_.HighSideMultiplier.reset();
        }
        if (skipCurrents_->isChecked()) {
            result_.ChargeCurrent.fill(std::nullopt);
            result_.DischargeCurrent.fill(std::nullopt);
        }
        std::string text;
        const CalibrationBlock updated = NewBlock();
        if (result_.BitWeights) {
            for (std::size_t bit = 0; bit < 12; ++bit) {
                text += Format("Bit weight %zu: %.4f mV, was %.4f mV\n", bit,
                               updated.BitWeights[bit] * 1000.0,
                               config_.Calibration.BitWeights[bit] * 1000.0);
            }
        }
        if (result_.LowSideMultiplier) {
            text += Format("Low-side multiplier: %.6g, was %.6g\n", updated.LowSideMultiplier,
                           config_.Calibration.LowSideMultiplier);
        }
        if (result_.HighSideMultiplier) {
            text += Format("High-side multiplier: %.6g, was %.6g\n", updated.HighSideMultiplier,
                           config_.Calibration.HighSideMultiplier);
        }
        if (result_.BitWeights || result_.LowSideMultiplier || result_.HighSideMultiplier) {
            for (const double volts : {1.2, 7.2, 14.4, 25.2}) {
                text += VoltageEffect(config_.Calibration, updated, volts, lowCount_) + "\n";
            }
        }
        for (std::size_t rate = 1; rate < 16; ++rate) {
            for (const bool charge : {false, true}) {
                const auto& column = charge ? result_.ChargeCurrent : result_.DischargeCurrent;
                const auto& table = charge ? config_.ChargeCurrent : config_.DischargeCurrent;
                if (column[rate]) {
                    text += Format(
                        "%s rate %zu: %.1f mA, was %.1f mA: %s\n", charge ? "Charge" : "Discharge",
                        rate, *column[rate] * 1000.0, table[rate] * 1000.0,
                        CapacityEffect(table[rate], *column[rate], static_cast<int>(rate), charge)
                            .c_str());
                }
            }
        }
        reviewText_->setPlainText(Text(
            text.empty() ? std::string("Nothing was calibrated: nothing will change.") : text));
    });
    return page;
}

void TCalibrationWizard::SaveCalibrationFile() {
    saved_ = true;
    if (result_.Empty()) {
        return;
    }
    result_.Meter = meterCombo_->currentIndex() == 0 ? MeterType::FourAndAHalfDigits
                                                     : MeterType::ThreeAndAHalfDigits;
    result_.MeterName = meterNameEdit_->text().toStdString();
    std::string copy;
    std::string historyProblem;
    if (auto problem = SaveCalibration(configurationPath_, result_, clock_, copy, historyProblem)) {
        ShowErrorBox(this, Text(*problem));
        return;
    }
    if (!historyProblem.empty()) {
        ShowErrorBox(this,
                     Text("The calibration is saved, but the history is not: " + historyProblem));
    }
    if (auto problem = ReadConfiguration(config_, configurationPath_)) {
        ShowErrorBox(this, Text("Error re-reading initialization file: " + *problem));
    }
}

QWizardPage* TCalibrationWizard::MakeVerifyPage() {
    QVBoxLayout* layout = nullptr;
    QWizardPage* page = MakePage("Verify", layout);
    layout->addWidget(Explanation(
        "The board reads the pack continuously. Read the pack across its terminals with the "
        "meter and type it here to see the difference. Come back to this page at any time "
        "by starting the assistant and skipping every step."));
    verifyLabel_ = new QLabel;
    layout->addWidget(verifyLabel_);
    layout->addWidget(ReadingRow(verifyEdit_, VOLTREX_METER_PACK_VOLTAGE));
    layout->addStretch();
    verifyTimer_ = new QTimer(this);
    verifyTimer_->setInterval(500);
    connect(verifyTimer_, &QTimer::timeout, this,
            [this] { RunGuarded([this] { UpdateVerify(); }); });
    connect(this, &QWizard::currentIdChanged, this, [this](int id) {
        if (id == VerifyPageId) {
            instrument_.ReadVoltage(true);
            verifyTimer_->start();
        } else {
            verifyTimer_->stop();
        }
    });
    return page;
}

void TCalibrationWizard::UpdateVerify() {
    const double board = instrument_.ReadVoltage(false);
    std::string text = Format("The board reads %.3f V.", board);
    bool ok = false;
    const double meter =
        verifyEdit_->text().trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (ok && meter > 0.0) {
        text += Format(" The meter reads %.3f V: the board is %+.1f mV (%+.2f %%) off.", meter,
                       (board - meter) * 1000.0, (board - meter) / meter * 100.0);
    }
    verifyLabel_->setText(Text(text));
}

}  // namespace voltrex
