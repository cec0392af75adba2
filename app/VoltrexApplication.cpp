#include "app/VoltrexApplication.h"

#include <QFont>
#include <QStyleFactory>

#include "app/MessageBoxes.h"
#include "app/Pictures.h"
#include "instrument/EmergencySwitch.h"

namespace voltrex {

VoltrexApplication::VoltrexApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool VoltrexApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        Fail(error.what());
    } catch (...) {
        Fail("Unexpected failure.");
    }
    return false;
}

void VoltrexApplication::SetFailureHandler(std::function<void(const std::string&)> handler) {
    failureHandler_ = std::move(handler);
}

void VoltrexApplication::Fail(const std::string& text) {
    EmergencySwitchOff();
    failed_ = true;
    if (failing_) {
        return;
    }
    failing_ = true;
    if (failureHandler_) {
        failureHandler_(text);
    } else {
        ShowErrorBox(nullptr, QString::fromStdString(text));
        QCoreApplication::exit(1);
    }
}

const char* DesktopEntryName() {
    constexpr const char* Simulated = "voltrex2-simulated";
    return qgetenv("RESOURCE_NAME") == Simulated ? Simulated : "voltrex2";
}

void ConfigureAppearance() {
    QApplication::setApplicationName(QString::fromLatin1(ApplicationTitle));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(DesktopEntryName()));
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(style);
    }
    // The windows are laid out in fixed pixels for an 11-pixel font as narrow
    // as the classic dialog fonts. DejaVu Sans is on every Debian desktop;
    // its condensed face, narrowed a little further (or, where that face is
    // missing, the regular one narrowed by the font engine), has that width:
    // "Maximum Number of Cycles:" then ends a few pixels before its field.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    font.setStretch(84);
    QApplication::setFont(font);
    QApplication::setWindowIcon(ProgramIcon());
}

void ReportUnexpectedFailure(const std::string& text) {
    if (auto* application = qobject_cast<VoltrexApplication*>(QCoreApplication::instance())) {
        application->Fail(text);
        return;
    }
    EmergencySwitchOff();
    qCritical("Unexpected failure: %s", text.c_str());
}

}  // namespace voltrex
