#include "app/TMainForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QWindow>

#include "app/GraphView.h"
#include "app/MessageBoxes.h"
#include "app/PictureButton.h"
#include "app/Pictures.h"
#include "app/SaveFileDialog.h"
#include "app/TSetupForm.h"
#include "app/TStartForm.h"
#include "app/VoltrexApplication.h"
#include "config/ConfigurationReader.h"
#include "graph/GraphFileError.h"

namespace voltrex {

class TMainForm::RunModeScope {
  public:
    RunModeScope(TMainForm& form, const char* why) : form_(form), awake_(form.sleepGuard_, why) {
        form_.EnterRunMode();
    }
    ~RunModeScope() { form_.LeaveRunMode(); }
    RunModeScope(const RunModeScope&) = delete;
    RunModeScope& operator=(const RunModeScope&) = delete;

  private:
    TMainForm& form_;
    // A suspended PC keeps the port's pins, and with them the current.
    SleepGuard::Scope awake_;
};

namespace {

// Why the instrument's port cannot be used, as the library tells it, or
// nothing. Asked before the first write, which would otherwise go nowhere (or
// wait for another program to let go of the port).
std::optional<std::string> PortProblem(Port& port, std::uint16_t address) {
    const bool driverInstalled = port.DriverInstalled();
    const char* reason = port.AccessProblem(address);
    if ((reason == nullptr || *reason == '\0') && !driverInstalled) {
        reason = "the port library has no access to the parallel port.";
    }
    if (reason == nullptr || *reason == '\0') {
        return std::nullopt;
    }
    return std::string(reason);
}

PictureButton* MakeButton(const char* caption, const char* picture, QWidget* parent, int top) {
    auto* button = new PictureButton(QString::fromLatin1(caption),
                                     Picture(QString::fromLatin1(picture)), parent);
    button->setGeometry(8, top, 81, 44);
    return button;
}

}  // namespace

TMainForm::TMainForm(Configuration& config, Instrument& instrument, Graph& graph,
                     SleepGuard& sleepGuard, PortBinder bindPort, std::string configurationPath)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      config_(config),
      instrument_(instrument),
      graph_(graph),
      sleepGuard_(sleepGuard),
      bindPort_(std::move(bindPort)),
      configurationPath_(std::move(configurationPath)) {
    setWindowTitle(QString::fromLatin1(Caption));
    setFixedSize(750, 499);

    DischargeButton = MakeButton("&Discharge", "discharge", this, 8);
    ChargeButton = MakeButton("&Charge", "charge", this, 64);
    AutoCycleButton = MakeButton("&Auto Cycle", "autocycle", this, 120);
    ResistanceButton = MakeButton("&Resistance", "resistance", this, 176);
    MonitorButton = MakeButton("&Monitor", "monitor", this, 232);
    SetupButton = MakeButton("Set&up", "setup", this, 312);
    SaveButton = MakeButton("&Save", "save", this, 392);
    ExitButton = MakeButton("E&xit", "exit", this, 448);
    StopButton = MakeButton("Stop", "stop-32", this, 8);
    StopButton->resize(81, 484);
    StopButton->setIconSize(QSize(32, 32));
    // Stop is the window's cancel button: Esc clicks it, but only while it is
    // visible, that is while a test runs.
    StopButton->setShortcut(QKeySequence(Qt::Key_Escape));

    GraphPanel = new QFrame(this);
    GraphPanel->setGeometry(99, 8, 644, 484);
    GraphPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    GraphPanel->setLineWidth(2);
    QPalette black = GraphPanel->palette();
    black.setColor(QPalette::Window, Qt::black);
    GraphPanel->setPalette(black);
    GraphPanel->setAutoFillBackground(true);
    GraphImage = new GraphView(graph_.Image(), GraphPanel);
    GraphImage->setGeometry(2, 2, graph_.Image().Width(), graph_.Image().Height());
    UnavailableLabel = new QLabel(GraphPanel);
    UnavailableLabel->setGeometry(42, 42, 560, 400);
    UnavailableLabel->setAlignment(Qt::AlignCenter);
    UnavailableLabel->setWordWrap(true);
    UnavailableLabel->setTextFormat(Qt::PlainText);
    QPalette light = UnavailableLabel->palette();
    light.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
    UnavailableLabel->setPalette(light);
    UnavailableLabel->hide();

    QWidget* order[] = {DischargeButton,  ChargeButton,  AutoCycleButton,
                        ResistanceButton, MonitorButton, SetupButton,
                        SaveButton,       ExitButton,    StopButton};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }

    const std::pair<PictureButton*, void (TMainForm::*)()> handlers[] = {
        {DischargeButton, &TMainForm::DischargeButtonClick},
        {ChargeButton, &TMainForm::ChargeButtonClick},
        {AutoCycleButton, &TMainForm::AutoCycleButtonClick},
        {ResistanceButton, &TMainForm::ResistanceButtonClick},
        {MonitorButton, &TMainForm::MonitorButtonClick},
        {SetupButton, &TMainForm::SetupButtonClick},
        {SaveButton, &TMainForm::SaveButtonClick},
        {ExitButton, &TMainForm::ExitButtonClick},
        {StopButton, &TMainForm::StopButtonClick},
    };
    for (const auto& [button, handler] : handlers) {
        connect(button, &QPushButton::clicked, this,
                [this, handler = handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
    }

    FormCreate();
}

TMainForm::~TMainForm() {
    if (markedApplicationName_) {
        QCoreApplication::setApplicationName(QString::fromLatin1(ApplicationTitle));
    }
}

void TMainForm::Attach(TStartForm& startForm, TSetupForm& setupForm, Procedures& procedures) {
    startForm_ = &startForm;
    setupForm_ = &setupForm;
    procedures_ = &procedures;
}

void TMainForm::FormCreate() {
    startupPending_ = true;
    stopRequested_ = false;
}

void TMainForm::setVisible(bool visible) {
    if (!visible || !startupPending_ || startupRunning_ || isVisible()) {
        QWidget::setVisible(visible);
        return;
    }
    // Nothing can be clicked until the port, the configuration and the
    // all-off are done; Stop appears only for a test.
    for (PictureButton* button : {ChargeButton, DischargeButton, AutoCycleButton, ResistanceButton,
                                  MonitorButton, SetupButton, SaveButton, ExitButton}) {
        button->setEnabled(false);
    }
    StopButton->hide();
    QWidget::setVisible(true);
    PaintOnceMapped();
    RunGuarded([this] { FormShow(); });
}

void TMainForm::PaintOnceMapped() {
    QWindow* window = windowHandle();
    if (window == nullptr) {
        return;
    }
    // The window system maps the window and reports it exposed a moment
    // later; a display that never does (or a slow remote one) is not waited
    // for long. Only those events are let through: no input, no timers'
    // clicks reach a button, and every one is disabled anyway.
    constexpr int PatienceMs = 250;
    QElapsedTimer waited;
    waited.start();
    while (!window->isExposed() && waited.elapsed() < PatienceMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
    }
    if (window->isExposed()) {
        repaint();
    }
}

void TMainForm::FormShow() {
    // The error boxes below run their own event loop, in which the window may
    // be shown again; the chain runs once all the same.
    if (!startupPending_ || startupRunning_) {
        return;
    }
    startupRunning_ = true;
    std::string failure;
    if (Port* port = bindPort_()) {
        instrument_.BindPort(*port);
        const char* simulated = port->SimulatedBoardName();
        MarkSimulatedBoard(simulated);
        if (const auto message = ReadConfiguration(config_, configurationPath_)) {
            failure = "Error reading initialization file: " + *message;
        } else if (const auto problem = PortProblem(*port, config_.PortAddress)) {
            failure = "Error opening the port: " + *problem;
            // A simulated board's problem is its address, not a missing port.
            if (simulated == nullptr || *simulated == '\0') {
                failure += PortHelp;
            }
        }
    } else {
        failure = "Error loading I/O DLL.";
    }
    const bool success = failure.empty();
    if (!success) {
        ShowError(failure);
        UnavailableLabel->setText(
            QStringLiteral("The tests are unavailable until the program starts without this "
                           "error:\n\n") +
            QString::fromStdString(failure));
        UnavailableLabel->show();
    }
    for (PictureButton* button : {ChargeButton, DischargeButton, AutoCycleButton, ResistanceButton,
                                  MonitorButton, SaveButton}) {
        button->setEnabled(success);
    }
    SetupButton->setEnabled(true);
    ExitButton->setEnabled(true);
    if (success) {
        instrument_.SetPortAddress(config_.PortAddress);
    }
    StopButton->hide();
    startupPending_ = false;
    startupRunning_ = false;
}

// A user must never believe they charge their pack while only a simulation
// runs, so a library that drives a simulated board says so, and the window's
// caption and message boxes carry its name. A real port's library does not
// announce itself, and then every caption stays as it is.
void TMainForm::MarkSimulatedBoard(const char* name) {
    if (name == nullptr || *name == '\0') {
        return;
    }
    const QString mark = QStringLiteral(" (%1)").arg(QString::fromUtf8(name));
    setWindowTitle(QString::fromLatin1(Caption) + mark);
    QCoreApplication::setApplicationName(QString::fromLatin1(ApplicationTitle) + mark);
    markedApplicationName_ = true;
}

void TMainForm::EnterRunMode() {
    for (PictureButton* button : {ChargeButton, DischargeButton, AutoCycleButton, ResistanceButton,
                                  MonitorButton, SetupButton, SaveButton, ExitButton}) {
        button->hide();
    }
    StopButton->show();
    // Space and Enter on the focused Stop button stop the test as well.
    StopButton->setFocus(Qt::OtherFocusReason);
}

void TMainForm::LeaveRunMode() {
    for (PictureButton* button : {ChargeButton, DischargeButton, AutoCycleButton, ResistanceButton,
                                  MonitorButton, SetupButton, SaveButton, ExitButton}) {
        button->show();
    }
    StopButton->hide();
}

void TMainForm::Yield() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool TMainForm::PollStop() {
    const bool requested = stopRequested_;
    stopRequested_ = false;
    return requested;
}

void TMainForm::ShowError(const std::string& message) {
    ShowErrorBox(this, QString::fromStdString(message));
}

bool TMainForm::AskYesNo(const std::string& question) {
    return voltrex::AskYesNo(this, QString::fromStdString(question));
}

void TMainForm::DischargeButtonClick() {
    if (startForm_->ShowDischargeSettings() != TStartForm::Result::Start) {
        return;
    }
    RunModeScope running(*this, "A battery pack is being discharged");
    procedures_->RunDischarge(0);
}

void TMainForm::ChargeButtonClick() {
    if (startForm_->ShowChargeSettings() != TStartForm::Result::Start) {
        return;
    }
    RunModeScope running(*this, "A battery pack is being charged");
    procedures_->RunCharge(0, 0);
}

void TMainForm::AutoCycleButtonClick() {
    if (startForm_->ShowAutoCycleSettings() != TStartForm::Result::Start) {
        return;
    }
    RunModeScope running(*this, "A battery pack is being cycled");
    try {
        procedures_->RunAutoCycle();
    } catch (const GraphFileError& error) {
        // The cycle's charge has ended, so the instrument is already all off.
        ShowError(error.what());
    }
}

void TMainForm::ResistanceButtonClick() {
    if (startForm_->ShowResistanceSettings() != TStartForm::Result::Start) {
        return;
    }
    // A graph of its own on the image, never the current graph, so Save still
    // stores the last real test's graph.
    GraphPlot temporary(graph_.Image(), 0.0, 0.0);
    SleepGuard::Scope awake(sleepGuard_, "A battery pack's resistance is being measured");
    procedures_->MeasureInternalResistance(0, temporary);
}

void TMainForm::MonitorButtonClick() {
    RunModeScope running(*this, "A battery pack is being monitored");
    procedures_->RunMonitor();
}

void TMainForm::SetupButtonClick() {
    setupForm_->exec();
}

void TMainForm::SaveButtonClick() {
    if (GraphSaveDialog == nullptr) {
        // The toolkit's own dialog, not the desktop's: it behaves the same
        // everywhere, never changes the program's working directory, where
        // the configuration, the results and the per-cycle bitmaps live, and
        // refuses a folder that does not exist and a read-only file while it
        // is open.
        GraphSaveDialog =
            new SaveFileDialog(this, QStringLiteral("Save Graph"), QDir::currentPath(),
                               QStringLiteral("Windows Bitmap (*.bmp)"));
        GraphSaveDialog->setOption(QFileDialog::HideNameFilterDetails, true);
        GraphSaveDialog->setDefaultSuffix(QStringLiteral("bmp"));
    }
    if (GraphSaveDialog->exec() != QDialog::Accepted) {
        return;
    }
    const QStringList files = GraphSaveDialog->selectedFiles();
    if (files.isEmpty()) {
        return;
    }
    try {
        graph_.SaveCurrentGraph(QFile::encodeName(files.first()).toStdString());
    } catch (const GraphFileError& error) {
        ShowError(error.what());
    }
}

void TMainForm::ExitButtonClick() {
    close();
}

void TMainForm::StopButtonClick() {
    stopRequested_ = true;
}

bool TMainForm::FormCloseQuery() {
    // A running test sees the request at its next poll and ends there.
    stopRequested_ = true;
    return true;
}

void TMainForm::FormClose() {
    instrument_.ClearPortAddress();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    RunGuarded([this, &canClose] { canClose = FormCloseQuery(); });
    if (!canClose) {
        event->ignore();
        return;
    }
    RunGuarded([this] { FormClose(); });
    // The window is hidden, never deleted: a test whose loop received the
    // close is still running inside one of this window's handlers. The event
    // loop ends once that handler has returned.
    event->accept();
}

}  // namespace voltrex
