#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "config/Configuration.h"
#include "config/ConfigurationFile.h"
#include "instrument/Instrument.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace voltrex {

class PictureButton;

// The setup assistant: its left half drives the instrument's bits by hand
// (rate, the two relays, the D-to-A counter), its right half edits the
// configuration file, which Save writes back and reads again at once into the
// program's Configuration.
//
// Closing the dialog with its close box is handled as Cancel (asking first
// when the text was edited), so every way out ends with the instrument all
// off on the configured port.
class TSetupForm : public QDialog {
    Q_OBJECT

  public:
    // config is the program's record, refilled in place by Save; path is the
    // configuration file ("Voltrex2.ini" in the working directory).
    TSetupForm(Configuration& config, Instrument& instrument, std::string path, QWidget* parent);

    bool Modified() const { return modified_; }

    // Event handlers.
    void FormShow();
    void RateTrackBarChange();
    void ChargeButtonClick();
    void SetButtonClick();
    void FileMemoChange();
    void SaveButtonClick();
    void CancelButtonClick();

    // Esc and the close box come here: both act as Cancel.
    void reject() override;

    QGroupBox* RateGroup;
    QLabel* DischargeRateLabel;
    QSlider* RateTrackBar;
    QLabel* RateIndicatorLabel;
    QGroupBox* RelayGroup;
    QLabel* ModeLabel;
    QRadioButton* ChargeButton;
    QRadioButton* DischargeButton;
    QLabel* BatteryLabel;
    QRadioButton* ConnectButton;
    QRadioButton* DisconnectButton;
    QGroupBox* DToAGroup;
    QLabel* CountLabel;
    QComboBox* CountComboBox;
    QPushButton* SetButton;
    QGroupBox* FileGroup;
    QPlainTextEdit* FileMemo;
    PictureButton* SaveButton;
    PictureButton* CancelButton;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // The editor's text as the file's lines, UTF-8.
    std::vector<std::string> EditorLines() const;

    Configuration& config_;
    Instrument& instrument_;
    ConfigurationFile file_;
    bool modified_ = false;
};

}  // namespace voltrex
