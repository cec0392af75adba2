#pragma once

#include <QDialog>

#include "config/Configuration.h"
#include "procedures/TestSettings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QSlider;

namespace voltrex {

class PictureButton;
class UpDown;

// The test settings dialog: one instance for the whole run, shown modally in
// one of four variants. Its Start stores the entries in the program's
// TestSettings (checked by ApplySettingsEntry), which the procedures read; it
// keeps the user's entries from one showing to the next.
class TStartForm : public QDialog {
    Q_OBJECT

  public:
    enum class Result { Start, Cancel };

    static constexpr int MaximumCapacity = voltrex::MaximumCapacity;

    // config is the program's configuration, read at every showing (rate
    // currents, number of charge rates, cycle termination ratio); settings
    // are the program's, and outlive the dialog.
    TStartForm(const Configuration& config, TestSettings& settings, QWidget* parent);

    TestSettings& Settings() { return settings_; }
    const TestSettings& Settings() const { return settings_; }

    Result ShowChargeSettings();
    Result ShowDischargeSettings();
    Result ShowAutoCycleSettings();
    Result ShowResistanceSettings();

    // Event handlers.
    void FormShow();
    void ChargeRateTrackBarChange();
    void DischargeRateTrackBarChange();
    void StartButtonClick();

    QGroupBox* BatteryGroup;
    QLabel* CellTypeLabel;
    QComboBox* CellTypeComboBox;
    QLabel* CapacityLabel;
    QLineEdit* CapacityEdit;
    QLabel* CapacityUnitsLabel;
    QLabel* NumberOfCellsLabel;
    QLineEdit* NumberOfCellsEdit;
    UpDown* NumberOfCellsUpDown;
    QGroupBox* DischargeGroup;
    QLabel* DischargeRateLabel;
    QSlider* DischargeRateTrackBar;
    QLabel* DischargeRateIndicatorLabel;
    QGroupBox* ChargeGroup;
    QLabel* ChargeRateLabel;
    QSlider* ChargeRateTrackBar;
    QLabel* ChargeRateIndicatorLabel;
    QGroupBox* AutoCycleGroup;
    QLabel* NumberOfCyclesLabel;
    QLineEdit* MaximumCyclesEdit;
    UpDown* MaximumCyclesUpDown;
    QCheckBox* StopCheckBox;
    QCheckBox* SaveGraphCheckBox;
    PictureButton* StartButton;
    PictureButton* CancelButton;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    Result ShowVariant(const char* caption, bool battery, bool charge, bool discharge,
                       bool autoCycle);
    // Shows message in an error box, then puts the cursor into the field.
    void Refuse(const std::string& message, QWidget* field);

    const Configuration& config_;
    TestSettings& settings_;
};

}  // namespace voltrex
