#pragma once

#include <QApplication>
#include <exception>
#include <functional>
#include <string>

namespace voltrex {

// The application title, shown in the task bar and on the message boxes.
inline constexpr const char* ApplicationTitle = "Voltrex II";

// The program's application object. Everything runs on its one thread; an
// exception that reaches the event loop (from any event handler) is caught
// here instead of unwinding through the toolkit, and ends the program through
// Fail with the instrument switched off.
class VoltrexApplication : public QApplication {
    Q_OBJECT

  public:
    VoltrexApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // What Fail does after the emergency switch-off: show the text and end the
    // program. Set by main once the windows exist; without one, Fail shows the
    // text and asks the event loop to end.
    void SetFailureHandler(std::function<void(const std::string&)> handler);

    // Switches the instrument off at once, then hands the text to the failure
    // handler. A failure inside the handling only switches off again.
    void Fail(const std::string& text);
    bool Failed() const { return failed_; }

  private:
    std::function<void(const std::string&)> failureHandler_;
    bool failed_ = false;
    bool failing_ = false;
};

// The menu entry the program's windows belong to (the desktop's grouping, the
// Wayland application id): "voltrex2", or "voltrex2-simulated" when the
// launcher started the simulated entry, which it says by the X resource name
// RESOURCE_NAME (the windows' WM_CLASS instance on X11).
const char* DesktopEntryName();

// The look every window is laid out for: the Fusion style, whose metrics do
// not change with the desktop's theme, an 11-pixel sans-serif font, the
// program's icon and names.
void ConfigureAppearance();

// Reports an exception that escaped a window's handler: to Fail when the
// program's application object runs, otherwise (in tests) as a critical
// diagnostic after the emergency switch-off.
void ReportUnexpectedFailure(const std::string& text);

// Runs a window's handler, turning an escaping exception into
// ReportUnexpectedFailure, so no exception crosses the toolkit's code.
template <typename Handler>
void RunGuarded(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ReportUnexpectedFailure(error.what());
    } catch (...) {
        ReportUnexpectedFailure("Unexpected failure.");
    }
}

}  // namespace voltrex
