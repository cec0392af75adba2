#include "PrivateBus.h"

#include <sys/prctl.h>

#include <QFile>
#include <QStandardPaths>
#include <csignal>

namespace voltrex::testing {

PrivateBus::~PrivateBus() {
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        if (!daemon_.waitForFinished(2000)) {
            daemon_.kill();
            daemon_.waitForFinished(2000);
        }
    }
}

bool PrivateBus::Start() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        problem_ = QStringLiteral("dbus-daemon not found (Debian package dbus): no private bus");
        return false;
    }
    const QString configuration = folder_.filePath(QStringLiteral("bus.conf"));
    QFile file(configuration);
    if (!folder_.isValid() || !file.open(QIODevice::WriteOnly)) {
        problem_ = QStringLiteral("no temporary folder for the bus");
        return false;
    }
    file.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC "
                              "\"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                              "\"http://www.freedesktop.org/standards/dbus/1.0/"
                              "busconfig.dtd\">\n"
                              "<busconfig>\n"
                              "  <type>session</type>\n"
                              "  <listen>unix:dir=%1</listen>\n"
                              "  <auth>EXTERNAL</auth>\n"
                              "  <policy context=\"default\">\n"
                              "    <allow send_destination=\"*\"/>\n"
                              "    <allow own=\"*\"/>\n"
                              "    <allow receive_sender=\"*\"/>\n"
                              "  </policy>\n"
                              "</busconfig>\n")
                   .arg(folder_.path())
                   .toUtf8());
    file.close();
    daemon_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    daemon_.start(daemon, {"--config-file=" + configuration, "--nofork", "--print-address"});
    if (!daemon_.waitForStarted(5000)) {
        problem_ = daemon_.errorString();
        return false;
    }
    while (!daemon_.canReadLine()) {
        if (!daemon_.waitForReadyRead(5000)) {
            problem_ = "dbus-daemon gave no address: " + daemon_.readAllStandardError();
            return false;
        }
    }
    address_ = QString::fromUtf8(daemon_.readLine().trimmed());
    return true;
}

}  // namespace voltrex::testing
