#pragma once

#include <QElapsedTimer>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CountingSleepGuard.h"
#include "app/Program.h"
#include "testsupport/RecordingPort.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::testing {

// What the configuration file written for a test holds. The calibration is
// linear: the low-side comparator flips at count 0 and each count of the
// high-side ramp is worth VoltsPerCount, so a recording port that flips at
// count n reads n x VoltsPerCount volts. Charge rate r is 0.1 x r A and
// discharge rate r is 0.2 x r A.
struct IniOptions {
    std::string PortLine = "378";
    int ChargeRateCount = 16;
    double CycleTerminationRatio = 1.001;
    int CycleRestTime = 0;
    double ChargeCurrent1 = 0.1;
    double DischargeCurrent1 = 0.2;
};
inline constexpr double VoltsPerCount = 0.02;

// The 40 significant lines (with a comment at the top), LF line ends.
std::string ConfigurationText(const IniOptions& options = {});
// The configuration record such a file reads into.
Configuration ConfigurationOf(const IniOptions& options = {});

void WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);

// Acts on the modal windows a test opens. Each expected window is given by its
// class name; when the next modal window of that kind is the active one, its
// action runs inside the window's own event loop. A modal window that no step
// expects is recorded and closed, so a test never hangs on a stray box.
// Arm the script before the action that opens the first window, and keep one
// script alive at a time. Actions should only act; check what they saw after
// the window has closed.
class ModalScript : public QObject {
    Q_OBJECT

  public:
    using Action = std::function<void(QWidget*)>;

    ModalScript();
    ~ModalScript() override;

    ModalScript& Expect(const char* className, Action action);
    // A message box: its text is appended to Messages, then the button is
    // clicked.
    ModalScript& ExpectMessage(QMessageBox::StandardButton answer = QMessageBox::Ok);

    bool Done() const { return steps_.empty(); }
    const QStringList& Messages() const { return messages_; }
    const QStringList& Unexpected() const { return unexpected_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Step {
        QByteArray ClassName;
        Action Run;
    };
    void Poll();

    QTimer timer_;
    std::deque<Step> steps_;
    // The windows acted on. One that is still open after its action (a
    // dialog under the message box its action opened) is not a new window;
    // once hidden, a new showing of it is. A window that its action left
    // open (a failed check inside the action) is closed after a while
    // instead of hanging the test.
    struct Handled {
        QPointer<QWidget> Window;
        bool Hidden = false;
        QElapsedTimer SinceAction;
    };
    std::vector<Handled> handled_;
    QStringList messages_;
    QStringList unexpected_;
};

// Runs action once, as soon as condition holds during event processing (a
// test's yield, a dialog's loop). Checked until the object is destroyed.
class WhenTrue : public QObject {
    Q_OBJECT

  public:
    WhenTrue(std::function<bool()> condition, std::function<void()> action);
    bool Fired() const { return fired_; }

  private:
    QTimer timer_;
    bool fired_ = false;
};

// The recording port as the program's port, answering the start-up's
// questions as a test sets them: by default as the library of a real port
// that can be used.
class ScriptedPort final : public RecordingPort {
  public:
    using RecordingPort::RecordingPort;
    bool DriverInstalled() override { return driverInstalled; }
    const char* AccessProblem(std::uint16_t port) override {
        return accessProblem ? accessProblem(port) : nullptr;
    }

    bool driverInstalled = true;
    std::function<const char*(std::uint16_t port)> accessProblem;
};

// A whole program on a recording port and a virtual clock, with its files in
// a temporary folder: "Voltrex2.ini" there (when written) and the results and
// bitmaps beside it. Or, with Library::File, on the port library at
// libraryPath, bound by the program's own binder.
class ProgramHarness {
  public:
    enum class Library { Recording, Missing, File };

    explicit ProgramHarness(Library library = Library::Recording);
    ~ProgramHarness();

    QString Path(const QString& name) const { return folder.filePath(name); }
    QString ConfigurationPath() const { return Path(QStringLiteral("Voltrex2.ini")); }
    void WriteConfiguration(const IniOptions& options = {});
    // Makes the pack read this voltage from now on.
    void SetVoltage(double volts);

    // Builds the program (the windows exist, none is shown yet).
    Program& Start(ProgramFiles files = {});
    Program& program() { return *program_; }
    TMainForm& MainForm();

    QTemporaryDir folder;
    VirtualClock clock;
    // What the program binds; a test may script its answers before Start.
    ScriptedPort port{clock};
    std::string libraryPath;
    int bindCalls = 0;
    // The program keeps the PC awake through this, never through the system.
    CountingSleepGuard sleepGuard;
    // How the program tells the desktop of its tests; null: the session bus
    // (the tests' environment names one that does not exist).
    DesktopNotifier* notifier = nullptr;

  private:
    Library library_;
    PortLibrary realLibrary_;
    std::unique_ptr<Program> program_;
};

}  // namespace voltrex::testing
