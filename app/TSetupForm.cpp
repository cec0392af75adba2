#include "app/TSetupForm.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QShowEvent>
#include <QSlider>
#include <QStringDecoder>

#include "app/FormLayout.h"
#include "app/MessageBoxes.h"
#include "app/PictureButton.h"
#include "app/Pictures.h"
#include "app/VoltrexApplication.h"
#include "config/ConfigurationFile.h"
#include "config/ConfigurationReader.h"
#include "instrument/PortBits.h"
#include "platform/CFormat.h"

namespace voltrex {

namespace {

constexpr int HighestCount = 4095;

QRadioButton* MakeRadio(const QString& caption, QWidget* parent, int x, int y, int width) {
    auto* button = new QRadioButton(caption, parent);
    button->setGeometry(x, y, width, 17);
    return button;
}

QString ToText(const std::string& text) {
    return QString::fromStdString(text);
}

// The file's lines (UTF-8) as the editor's text, one line after the other.
// The file has been read already: a byte order mark still at the start is a
// character of the text.
QString EditorText(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        text += lines[i];
    }
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace

TSetupForm::TSetupForm(Configuration& config, Instrument& instrument, std::string path,
                       QWidget* parent)
    : QDialog(parent), config_(config), instrument_(instrument), file_(std::move(path)) {
    setWindowTitle(QStringLiteral("Voltrex II Setup Assistant"));
    setFixedSize(572, 335);

    RateGroup = new QGroupBox(QStringLiteral("Rate Control (Bits 0 to 3):"), this);
    RateGroup->setGeometry(8, 8, 247, 89);
    RateTrackBar = new QSlider(Qt::Horizontal, RateGroup);
    RateTrackBar->setRange(0, HighestRate);
    RateTrackBar->setValue(0);
    RateTrackBar->setSingleStep(1);
    RateTrackBar->setPageStep(1);
    RateTrackBar->setTickPosition(QSlider::TicksBelow);
    RateTrackBar->setTickInterval(1);
    RateTrackBar->setGeometry(40, 24, 201, 33);
    DischargeRateLabel = PlaceLabel(QStringLiteral("&Rate:"), RateGroup, 8, 29, RateTrackBar);
    RateIndicatorLabel = new QLabel(QStringLiteral("Hex 00"), RateGroup);
    RateIndicatorLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    RateIndicatorLabel->setGeometry(100, 64, 80, 15);

    RelayGroup = new QGroupBox(QStringLiteral("Relay Control (Bits 4 and 5):"), this);
    RelayGroup->setGeometry(8, 104, 249, 97);
    ModeLabel = PlaceLabel(QStringLiteral("Mode:"), RelayGroup, 8, 30);
    ChargeButton = MakeRadio(QStringLiteral("&Charge"), RelayGroup, 64, 28, 72);
    DischargeButton = MakeRadio(QStringLiteral("&Discharge"), RelayGroup, 144, 28, 90);
    BatteryLabel = PlaceLabel(QStringLiteral("Battery:"), RelayGroup, 8, 64);
    ConnectButton = MakeRadio(QStringLiteral("C&onnect"), RelayGroup, 64, 62, 72);
    DisconnectButton = MakeRadio(QStringLiteral("D&isconnect"), RelayGroup, 144, 62, 90);
    // Two separate groups: the mode pair and the battery pair. Until the
    // buttons are in their groups, all four radio buttons of the box exclude
    // each other, so they are checked only afterwards.
    auto* modeGroup = new QButtonGroup(this);
    modeGroup->addButton(ChargeButton);
    modeGroup->addButton(DischargeButton);
    auto* batteryGroup = new QButtonGroup(this);
    batteryGroup->addButton(ConnectButton);
    batteryGroup->addButton(DisconnectButton);
    DischargeButton->setChecked(true);
    DisconnectButton->setChecked(true);

    DToAGroup = new QGroupBox(QStringLiteral("D-to-A Control (Bits 6 and 7):"), this);
    DToAGroup->setGeometry(8, 208, 249, 65);
    CountComboBox = new QComboBox(DToAGroup);
    CountComboBox->setEditable(true);
    CountComboBox->setInsertPolicy(QComboBox::NoInsert);
    CountComboBox->addItems({QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"),
                             QStringLiteral("4"), QStringLiteral("8"), QStringLiteral("16"),
                             QStringLiteral("32"), QStringLiteral("64"), QStringLiteral("128"),
                             QStringLiteral("256"), QStringLiteral("512"), QStringLiteral("1024"),
                             QStringLiteral("2048"), QStringLiteral("4095")});
    CountComboBox->setMaxVisibleItems(17);
    CountComboBox->setGeometry(68, 26, 81, 21);
    CountLabel = PlaceLabel(QStringLiteral("Count &To:"), DToAGroup, 8, 30, CountComboBox);
    SetButton = new QPushButton(QStringLiteral("S&et"), DToAGroup);
    SetButton->setGeometry(162, 24, 75, 25);

    FileGroup = new QGroupBox(QStringLiteral("Configuration &File (Voltrex2.ini):"), this);
    FileGroup->setGeometry(266, 8, 297, 318);
    FileMemo = new QPlainTextEdit(FileGroup);
    FileMemo->setGeometry(8, 20, 281, 290);
    FileMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    FileMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FileMemo->setTabChangesFocus(true);

    SaveButton = new PictureButton(QStringLiteral("&Save"), Picture(QStringLiteral("save")), this);
    SaveButton->setGeometry(8, 282, 75, 44);
    SaveButton->setDefault(true);
    CancelButton =
        new PictureButton(QStringLiteral("Cance&l"), Picture(QStringLiteral("cancel")), this);
    CancelButton->setGeometry(182, 282, 75, 44);

    QWidget* order[] = {RateTrackBar,     ChargeButton,  DischargeButton, ConnectButton,
                        DisconnectButton, CountComboBox, SetButton,       FileMemo,
                        SaveButton,       CancelButton};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }

    connect(RateTrackBar, &QSlider::valueChanged, this,
            [this] { RunGuarded([this] { RateTrackBarChange(); }); });
    for (QRadioButton* button : {ChargeButton, DischargeButton, ConnectButton, DisconnectButton}) {
        connect(button, &QRadioButton::clicked, this,
                [this] { RunGuarded([this] { ChargeButtonClick(); }); });
    }
    connect(SetButton, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { SetButtonClick(); }); });
    connect(FileMemo, &QPlainTextEdit::textChanged, this, [this] { FileMemoChange(); });
    connect(SaveButton, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { SaveButtonClick(); }); });
    connect(CancelButton, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { CancelButtonClick(); }); });
}

void TSetupForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        RunGuarded([this] { FormShow(); });
    }
}

void TSetupForm::FormShow() {
    FileMemo->clear();
    std::vector<std::string> lines;
    if (const auto failure = file_.Load(lines)) {
        // The editor stays empty; the user may type a configuration and save it.
        ShowErrorBox(
            this, ToText(Format("Could not read %s: %s", ConfigurationFileName, failure->c_str())));
    } else {
        FileMemo->setPlainText(EditorText(lines));
    }
    // Each control whose value changes here runs its handler, as a change by
    // the user would, so the instrument follows what the controls show.
    RateTrackBar->setValue(0);
    if (!DischargeButton->isChecked()) {
        DischargeButton->setChecked(true);
        ChargeButtonClick();
    }
    if (!DisconnectButton->isChecked()) {
        DisconnectButton->setChecked(true);
        ChargeButtonClick();
    }
    CountComboBox->setCurrentIndex(0);
    CountComboBox->setEditText(CountComboBox->itemText(0));
    modified_ = false;
}

void TSetupForm::RateTrackBarChange() {
    RateIndicatorLabel->setText(ToText(Format("Hex %02X", RateTrackBar->value())));
    ChargeButtonClick();
}

void TSetupForm::ChargeButtonClick() {
    instrument_.SetLatchManual(static_cast<std::uint8_t>(RateTrackBar->value()),
                               ChargeButton->isChecked(), ConnectButton->isChecked());
}

void TSetupForm::SetButtonClick() {
    bool isNumber = false;
    int count = CountComboBox->currentText().trimmed().toInt(&isNumber, 10);
    if (!isNumber) {
        count = -1;
    }
    if (count < 0 || count > HighestCount) {
        ShowErrorBox(this,
                     QStringLiteral("Please enter a count from 0 to 4095 in the Count To field."));
        return;
    }
    instrument_.ClockCounterTo(count);
}

void TSetupForm::FileMemoChange() {
    modified_ = true;
}

std::vector<std::string> TSetupForm::EditorLines() const {
    // Every line of the editor ends with a line break in the file, an empty
    // last line too; an editor without any text has no lines.
    const QString text = FileMemo->toPlainText();
    std::vector<std::string> result;
    if (text.isEmpty()) {
        return result;
    }
    const QStringList lines = text.split(QLatin1Char('\n'));
    result.reserve(static_cast<std::size_t>(lines.size()));
    for (const QString& line : lines) {
        result.push_back(line.toStdString());
    }
    return result;
}

void TSetupForm::SaveButtonClick() {
    instrument_.ClearPortAddress();
    if (const auto failure = file_.Save(EditorLines())) {
        ShowErrorBox(this, ToText(Format("Could not write %s: %s", ConfigurationFileName,
                                         failure->c_str())));
    } else if (const auto message = file_.Read(config_)) {
        ShowErrorBox(this, ToText("Error re-reading initialization file: " + *message));
    } else {
        accept();
    }
    // Also after a failure: Save released the port at its start, and the port
    // must not stay released.
    instrument_.SetPortAddress(config_.PortAddress);
}

void TSetupForm::CancelButtonClick() {
    instrument_.ClearPortAddress();
    if (modified_ &&
        !AskYesNo(this, QStringLiteral("Are you sure you want to discard your changes?"))) {
        instrument_.SetPortAddress(config_.PortAddress);
        return;
    }
    QDialog::reject();
    instrument_.SetPortAddress(config_.PortAddress);
}

void TSetupForm::reject() {
    RunGuarded([this] { CancelButtonClick(); });
}

}  // namespace voltrex
