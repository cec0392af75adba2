#pragma once

#include <QWizard>
#include <memory>
#include <string>
#include <vector>

#include "calibrate/CalibrationResult.h"
#include "calibrate/CurrentProbe.h"
#include "calibrate/WeightFit.h"
#include "config/Configuration.h"
#include "instrument/Instrument.h"
#include "platform/Clock.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace voltrex {

// The calibration assistant's window: one page per step, each skippable, the
// owner's meter readings typed into a field (or, on the simulated board,
// taken from its simulated meter). The work itself is the calibration core's;
// this window drives the board through the instrument and keeps the rule
// that no current flows unattended: every way out of the window (Finish,
// Cancel, Escape, the close box) switches the instrument off, current first,
// and a current left on without a reading goes off by itself.
class TCalibrationWizard : public QWizard {
    Q_OBJECT

  public:
    // The pages, in order.
    enum PageId {
        BoardPageId,
        WeightsPageId,
        MultipliersPageId,
        CurrentsPageId,
        ReviewPageId,
        VerifyPageId
    };

    // port is the instrument's port, asked for the simulated meter;
    // configurationPath the file that Save writes.
    TCalibrationWizard(Configuration& config, Instrument& instrument, Port& port, Clock& clock,
                       std::string configurationPath, QWidget* parent = nullptr);
    ~TCalibrationWizard() override;

    void done(int result) override;

    // The current step's controls, for the tests.
    CurrentProbe& Probe() { return *probe_; }
    QPushButton* SwitchOnButton = nullptr;
    QLineEdit* CurrentEdit = nullptr;
    // Switches a current off whose time without a reading is up (run by a
    // timer every quarter second).
    void CheckTimeLimit();

  private:
    QWizardPage* MakeBoardPage();
    QWizardPage* MakeWeightsPage();
    QWizardPage* MakeMultipliersPage();
    QWizardPage* MakeCurrentsPage();
    QWizardPage* MakeReviewPage();
    QWizardPage* MakeVerifyPage();
    // A field with the simulated meter's button beside it (only on the
    // simulated board); the row widget.
    QWidget* ReadingRow(QLineEdit*& edit, int probe);
    // The number in a field, with the checks; false (after saying why) when
    // the owner must read again or declined.
    bool TakeReading(QLineEdit* edit, double expected, double lowest, double highest,
                     const char* unit, double& value);
    void ShowWeightCount();
    void TakeWeightReading();
    void MeasureMultipliers();
    void ShowCurrentStep();
    void SwitchCurrentOn();
    void TakeCurrentReading();
    void SaveCalibrationFile();
    void UpdateVerify();
    CalibrationBlock NewBlock() const;

    Configuration& config_;
    Instrument& instrument_;
    Port& port_;
    Clock& clock_;
    std::string configurationPath_;
    bool simulated_ = false;
    std::unique_ptr<CurrentProbe> probe_;
    CalibrationResult result_;

    QComboBox* meterCombo_ = nullptr;
    QLineEdit* meterNameEdit_ = nullptr;
    QCheckBox* skipWeights_ = nullptr;
    QLabel* weightLabel_ = nullptr;
    QLineEdit* weightEdit_ = nullptr;
    QPlainTextEdit* weightReport_ = nullptr;
    std::vector<std::int32_t> counts_;
    std::vector<CountReading> readings_;
    WeightFit fit_;

    QCheckBox* skipMultipliers_ = nullptr;
    QLineEdit* packEdit_ = nullptr;
    QLineEdit* negativeEdit_ = nullptr;
    QPlainTextEdit* multiplierReport_ = nullptr;
    double lowCount_ = 20.0;

    QCheckBox* skipCurrents_ = nullptr;
    QLineEdit* shuntEdit_ = nullptr;
    QLabel* currentLabel_ = nullptr;
    std::vector<std::pair<bool, int>> currentSteps_;
    std::size_t currentStep_ = 0;
    QTimer* timeLimitTimer_ = nullptr;

    QPlainTextEdit* reviewText_ = nullptr;
    QLabel* verifyLabel_ = nullptr;
    QLineEdit* verifyEdit_ = nullptr;
    QTimer* verifyTimer_ = nullptr;
    bool saved_ = false;
};

}  // namespace voltrex
