#pragma once

#include <QWidget>
#include <string>

#include "app/PortBinder.h"
#include "app/SleepGuard.h"
#include "config/Configuration.h"
#include "graph/Graph.h"
#include "instrument/Instrument.h"
#include "procedures/Procedures.h"
#include "procedures/UserInterface.h"

class QFileDialog;
class QFrame;
class QLabel;

namespace voltrex {

class GraphView;
class PictureButton;
class TSetupForm;
class TStartForm;

// The main window: the graph, one button per test plus Setup, Save and Exit,
// and the tall Stop button that replaces them while a test runs. Its first
// show binds the port library, reads the configuration and switches the
// instrument all off on the configured port; closing it switches the
// instrument off again. It is the procedures' user interface: a test yields
// to it to let Stop and the close box work, and polls its stop flag.
class TMainForm : public QWidget, public UserInterface {
    Q_OBJECT

  public:
    static constexpr const char* Caption =
        "Voltrex II - Computer Controlled Battery Manager - Version 1.0";
    // Follows the reason a real port cannot be used: most who meet it have
    // no parallel port at all, and would otherwise see no way on.
    static constexpr const char* PortHelp =
        " Until the port works, the menu entry \"Voltrex II (simulated charger)\" runs every "
        "test on a simulated charger; the manual page voltrex2(1) says how to set up the port.";

    // The records and objects the window works on belong to the program and
    // outlive the window. sleepGuard is held while a test runs. bindPort
    // loads the port library at the first show; configurationPath is the file
    // read then.
    TMainForm(Configuration& config, Instrument& instrument, Graph& graph, SleepGuard& sleepGuard,
              PortBinder bindPort, std::string configurationPath);
    ~TMainForm() override;

    // The dialogs and the procedures, made after the window.
    void Attach(TStartForm& startForm, TSetupForm& setupForm, Procedures& procedures);

    // UserInterface.
    void Yield() override;
    bool PollStop() override;
    void ShowError(const std::string& message) override;
    bool AskYesNo(const std::string& question) override;

    bool StartupPending() const { return startupPending_; }
    bool StopRequested() const { return stopRequested_; }

    // Event handlers.
    void FormCreate();
    void FormShow();
    void DischargeButtonClick();
    void ChargeButtonClick();
    void AutoCycleButtonClick();
    void ResistanceButtonClick();
    void MonitorButtonClick();
    void SetupButtonClick();
    void SaveButtonClick();
    void ExitButtonClick();
    void StopButtonClick();
    bool FormCloseQuery();
    void FormClose();

    void EnterRunMode();
    void LeaveRunMode();

    PictureButton* DischargeButton;
    PictureButton* ChargeButton;
    PictureButton* AutoCycleButton;
    PictureButton* ResistanceButton;
    PictureButton* MonitorButton;
    PictureButton* SetupButton;
    PictureButton* SaveButton;
    PictureButton* ExitButton;
    PictureButton* StopButton;
    QFrame* GraphPanel;
    GraphView* GraphImage;
    // Over the empty graph once a failed start-up's message box has closed:
    // why the tests stay unavailable, which the disabled buttons alone do not
    // say. Hidden otherwise.
    QLabel* UnavailableLabel;
    // Made at the first Save: building the toolkit's file dialog takes as
    // long as the rest of the window.
    QFileDialog* GraphSaveDialog = nullptr;

    // The first show maps the window with every button disabled, lets it be
    // drawn, and only then runs the start-up chain (FormShow), whose all-off
    // waits 100 ms; the buttons come up when the chain is complete, before
    // show returns.
    void setVisible(bool visible) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // The running state for the life of one test, with the PC kept awake:
    // entered at construction, left however the test ends.
    class RunModeScope;

    void MarkSimulatedBoard(const char* name);
    // Up to a moment's wait for the window system to map the new window, then
    // its first painting, without handling any input.
    void PaintOnceMapped();

    Configuration& config_;
    Instrument& instrument_;
    Graph& graph_;
    SleepGuard& sleepGuard_;
    PortBinder bindPort_;
    std::string configurationPath_;
    TStartForm* startForm_ = nullptr;
    TSetupForm* setupForm_ = nullptr;
    Procedures* procedures_ = nullptr;
    bool startupPending_ = true;
    bool startupRunning_ = false;
    bool stopRequested_ = false;
    bool markedApplicationName_ = false;
};

}  // namespace voltrex
