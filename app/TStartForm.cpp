#include "app/TStartForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QShowEvent>
#include <QSlider>
#include <algorithm>

#include "app/FormLayout.h"
#include "app/MessageBoxes.h"
#include "app/PictureButton.h"
#include "app/Pictures.h"
#include "app/UpDown.h"
#include "app/VoltrexApplication.h"
#include "instrument/PortBits.h"
#include "platform/CFormat.h"

namespace voltrex {

namespace {

// The text of an edit field as a whole number, or fallback when the text is
// not one (empty, letters, a fraction). Blanks around the number are allowed.
int TextToInteger(const QString& text, int fallback) {
    bool isNumber = false;
    const int value = text.trimmed().toInt(&isNumber, 10);
    return isNumber ? value : fallback;
}

QSlider* MakeRateTrackBar(QWidget* parent) {
    auto* trackBar = new QSlider(Qt::Horizontal, parent);
    trackBar->setRange(1, HighestRate);
    trackBar->setValue(1);
    trackBar->setSingleStep(1);
    trackBar->setPageStep(2);
    trackBar->setTickPosition(QSlider::TicksBelow);
    trackBar->setTickInterval(1);
    trackBar->setGeometry(40, 24, 201, 33);
    return trackBar;
}

QLabel* MakeIndicator(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setGeometry(100, 64, 80, 13);
    return label;
}

}  // namespace

TStartForm::TStartForm(const Configuration& config, TestSettings& settings, QWidget* parent)
    : QDialog(parent), config_(config), settings_(settings) {
    setWindowTitle(QStringLiteral("Charge/Discharge/Cycle"));
    setFixedSize(521, 327);

    BatteryGroup = new QGroupBox(QStringLiteral("&Battery"), this);
    BatteryGroup->setGeometry(8, 8, 505, 65);
    CellTypeComboBox = new QComboBox(BatteryGroup);
    CellTypeComboBox->addItems({QStringLiteral("NiCd"), QStringLiteral("NiMH"),
                                QStringLiteral("LiPo"), QStringLiteral("LiNP"),
                                QStringLiteral("PbAcid")});
    CellTypeComboBox->setCurrentIndex(-1);
    CellTypeComboBox->setGeometry(63, 24, 65, 21);
    CellTypeLabel =
        PlaceLabel(QStringLiteral("Cell &Type:"), BatteryGroup, 8, 29, CellTypeComboBox);
    CapacityEdit = new QLineEdit(BatteryGroup);
    CapacityEdit->setMaxLength(5);
    CapacityEdit->setGeometry(221, 24, 53, 21);
    CapacityLabel = PlaceLabel(QStringLiteral("C&apacity:"), BatteryGroup, 169, 29, CapacityEdit);
    CapacityUnitsLabel = PlaceLabel(QStringLiteral("mAh"), BatteryGroup, 282, 29);
    NumberOfCellsEdit = new QLineEdit(QStringLiteral("1"), BatteryGroup);
    NumberOfCellsEdit->setMaxLength(2);
    NumberOfCellsEdit->setGeometry(428, 24, 49, 21);
    NumberOfCellsLabel =
        PlaceLabel(QStringLiteral("&Number of Cells:"), BatteryGroup, 343, 29, NumberOfCellsEdit);
    NumberOfCellsUpDown = new UpDown(1, MaximumCells, 1, BatteryGroup);
    NumberOfCellsUpDown->setGeometry(477, 24, 16, 21);
    NumberOfCellsUpDown->SetAssociate(NumberOfCellsEdit);

    DischargeGroup = new QGroupBox(QStringLiteral("&Discharge"), this);
    DischargeGroup->setGeometry(8, 80, 247, 89);
    DischargeRateTrackBar = MakeRateTrackBar(DischargeGroup);
    DischargeRateLabel =
        PlaceLabel(QStringLiteral("Rat&e:"), DischargeGroup, 8, 29, DischargeRateTrackBar);
    DischargeRateIndicatorLabel = MakeIndicator(DischargeGroup);

    ChargeGroup = new QGroupBox(QStringLiteral("&Charge"), this);
    ChargeGroup->setGeometry(266, 80, 247, 89);
    ChargeRateTrackBar = MakeRateTrackBar(ChargeGroup);
    ChargeRateLabel = PlaceLabel(QStringLiteral("&Rate:"), ChargeGroup, 8, 29, ChargeRateTrackBar);
    ChargeRateIndicatorLabel = MakeIndicator(ChargeGroup);

    AutoCycleGroup = new QGroupBox(QStringLiteral("A&uto Cycle"), this);
    AutoCycleGroup->setGeometry(8, 176, 505, 91);
    MaximumCyclesEdit = new QLineEdit(QStringLiteral("1"), AutoCycleGroup);
    MaximumCyclesEdit->setMaxLength(2);
    MaximumCyclesEdit->setGeometry(151, 24, 49, 21);
    NumberOfCyclesLabel = PlaceLabel(QStringLiteral("&Maximum Number of Cycles:"), AutoCycleGroup,
                                     8, 29, MaximumCyclesEdit);
    MaximumCyclesUpDown = new UpDown(1, MaximumCycleCount, 1, AutoCycleGroup);
    MaximumCyclesUpDown->setGeometry(200, 24, 16, 21);
    MaximumCyclesUpDown->SetAssociate(MaximumCyclesEdit);
    StopCheckBox = new QCheckBox(QStringLiteral("Stop &when capacity increases by less than 0.1%"),
                                 AutoCycleGroup);
    StopCheckBox->setGeometry(248, 28, 255, 17);
    SaveGraphCheckBox =
        new QCheckBox(QStringLiteral("Save grap&h as BMP file after each cycle"), AutoCycleGroup);
    SaveGraphCheckBox->setGeometry(248, 56, 241, 17);

    StartButton =
        new PictureButton(QStringLiteral("&Start"), Picture(QStringLiteral("start")), this);
    StartButton->setGeometry(8, 274, 75, 44);
    StartButton->setDefault(true);
    CancelButton =
        new PictureButton(QStringLiteral("Cance&l"), Picture(QStringLiteral("cancel")), this);
    CancelButton->setGeometry(438, 274, 75, 44);

    // Tab order: the groups in the order Battery, Discharge, Charge, Auto
    // Cycle, then Start and Cancel.
    QWidget* order[] = {CellTypeComboBox,      CapacityEdit,       NumberOfCellsEdit,
                        DischargeRateTrackBar, ChargeRateTrackBar, MaximumCyclesEdit,
                        StopCheckBox,          SaveGraphCheckBox,  StartButton,
                        CancelButton};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }

    connect(ChargeRateTrackBar, &QSlider::valueChanged, this,
            [this] { RunGuarded([this] { ChargeRateTrackBarChange(); }); });
    connect(DischargeRateTrackBar, &QSlider::valueChanged, this,
            [this] { RunGuarded([this] { DischargeRateTrackBarChange(); }); });
    connect(StartButton, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { StartButtonClick(); }); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

TStartForm::Result TStartForm::ShowChargeSettings() {
    return ShowVariant("Charge Settings", true, true, false, false);
}

TStartForm::Result TStartForm::ShowDischargeSettings() {
    return ShowVariant("Discharge Settings", true, false, true, false);
}

TStartForm::Result TStartForm::ShowAutoCycleSettings() {
    return ShowVariant("Auto Cycle Settings", true, true, true, true);
}

TStartForm::Result TStartForm::ShowResistanceSettings() {
    return ShowVariant("Internal Resistance Test Settings", false, true, true, false);
}

TStartForm::Result TStartForm::ShowVariant(const char* caption, bool battery, bool charge,
                                           bool discharge, bool autoCycle) {
    setWindowTitle(QString::fromLatin1(caption));
    BatteryGroup->setVisible(battery);
    ChargeGroup->setVisible(charge);
    DischargeGroup->setVisible(discharge);
    AutoCycleGroup->setVisible(autoCycle);
    return exec() == QDialog::Accepted ? Result::Start : Result::Cancel;
}

void TStartForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        RunGuarded([this] { FormShow(); });
    }
}

void TStartForm::FormShow() {
    // A count outside 2..16 in the configuration is not refused by its
    // reader; the track bar is kept within the rate table's rows 1..15, so no
    // rate without a table row can be chosen. Lowering the maximum moves a
    // higher position down to it.
    ChargeRateTrackBar->setMaximum(std::clamp(config_.ChargeRateCount - 1, 1, HighestRate));
    ChargeRateTrackBarChange();
    DischargeRateTrackBarChange();
    StopCheckBox->setText(
        QString::fromStdString(Format("Stop &when capacity increases by less than %1.1f%%",
                                      (config_.CycleTerminationRatio - 1.0) * 100.0)));
    if (CellTypeComboBox->currentIndex() < 0) {
        CellTypeComboBox->setCurrentIndex(CellTypeComboBox->findText(QStringLiteral("NiMH")));
        NumberOfCellsEdit->setText(QStringLiteral("7"));
    }
}

void TStartForm::ChargeRateTrackBarChange() {
    const auto rate = static_cast<std::size_t>(ChargeRateTrackBar->value());
    ChargeRateIndicatorLabel->setText(
        QString::fromStdString(Format("%4.0f mA", config_.ChargeCurrent.at(rate) * 1000.0)));
}

void TStartForm::DischargeRateTrackBarChange() {
    const auto rate = static_cast<std::size_t>(DischargeRateTrackBar->value());
    DischargeRateIndicatorLabel->setText(
        QString::fromStdString(Format("%4.0f mA", config_.DischargeCurrent.at(rate) * 1000.0)));
}

void TStartForm::Refuse(const std::string& message, QWidget* field) {
    ShowErrorBox(this, QString::fromStdString(message));
    field->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->selectAll();
    }
}

void TStartForm::StartButtonClick() {
    TestSettingsEntry entry;
    entry.BatteryShown = !BatteryGroup->isHidden();
    if (CellTypeComboBox->currentIndex() >= 0) {
        entry.CellType = CellTypeComboBox->currentText().toStdString();
    }
    entry.Capacity = TextToInteger(CapacityEdit->text(), 0);
    entry.NumberOfCells = TextToInteger(NumberOfCellsEdit->text(), 0);
    entry.ChargeShown = !ChargeGroup->isHidden();
    entry.ChargeRate = ChargeRateTrackBar->value();
    entry.DischargeShown = !DischargeGroup->isHidden();
    entry.DischargeRate = DischargeRateTrackBar->value();
    entry.AutoCycleShown = !AutoCycleGroup->isHidden();
    entry.MaximumCycles = TextToInteger(MaximumCyclesEdit->text(), 0);
    entry.StopOnSmallIncrease = StopCheckBox->isChecked();
    entry.SaveGraphEachCycle = SaveGraphCheckBox->isChecked();
    // Each field is stored as soon as it has passed its check; a later field
    // that fails leaves the earlier ones stored.
    if (const std::optional<SettingsRefusal> refusal = ApplySettingsEntry(entry, settings_)) {
        QWidget* const fields[] = {CellTypeComboBox, CapacityEdit, NumberOfCellsEdit,
                                   MaximumCyclesEdit};
        Refuse(refusal->Message, fields[static_cast<int>(refusal->Field)]);
        return;
    }
    accept();
}

}  // namespace voltrex
