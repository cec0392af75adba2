#include "remote/RemoteMain.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkInterface>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "remote/AccessRules.h"
#include "remote/QrText.h"
#include "remote/StatusServer.h"

namespace voltrex::remote {

namespace {

constexpr quint16 DefaultPort = 8420;

// The addresses of this machine that another host on the local network can
// reach: IPv4, up, not the loopback.
QStringList NetworkAddresses() {
    QStringList found;
    for (const QNetworkInterface& face : QNetworkInterface::allInterfaces()) {
        const auto flags = face.flags();
        if (!(flags & QNetworkInterface::IsUp) || (flags & QNetworkInterface::IsLoopBack)) {
            continue;
        }
        for (const QNetworkAddressEntry& entry : face.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                found << entry.ip().toString();
            }
        }
    }
    return found;
}

void Say(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

}  // namespace

int RemoteMain(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("voltrex2-remote"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    // End cleanly on the usual requests (systemd stops a unit with SIGTERM).
    std::signal(SIGTERM, [](int) { std::_Exit(0); });
    std::signal(SIGPIPE, SIG_IGN);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves the state of the test that Voltrex II runs as a read-only page for a phone's "
        "browser. Listens on the loopback address unless told otherwise."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption network(
        QStringList{QStringLiteral("network")},
        QStringLiteral("Listen on every address of this machine, so that a phone on the local "
                       "network can watch; the page then needs the secret token printed."));
    const QCommandLineOption address(QStringList{QStringLiteral("address")},
                                     QStringLiteral("Listen on this address only (a "
                                                    "non-loopback address needs the token)."),
                                     QStringLiteral("address"));
    const QCommandLineOption port(QStringList{QStringLiteral("port")},
                                  QStringLiteral("The port (default %1).").arg(DefaultPort),
                                  QStringLiteral("port"), QString::number(DefaultPort));
    const QCommandLineOption folder(
        QStringList{QStringLiteral("folder")},
        QStringLiteral("The folder the program publishes to (default $XDG_RUNTIME_DIR/voltrex2)."),
        QStringLiteral("folder"));
    parser.addOptions({network, address, port, folder});
    parser.process(application);

    QHostAddress listenOn(QHostAddress::LocalHost);
    if (parser.isSet(network)) {
        listenOn = QHostAddress(QHostAddress::AnyIPv4);
    }
    if (parser.isSet(address) && !listenOn.setAddress(parser.value(address))) {
        std::fprintf(stderr, "voltrex2-remote: %s is not an address\n",
                     qPrintable(parser.value(address)));
        return 2;
    }
    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    if (!portOk || portNumber > 65535) {
        std::fprintf(stderr, "voltrex2-remote: %s is not a port\n", qPrintable(parser.value(port)));
        return 2;
    }
    QString published = parser.value(folder);
    if (published.isEmpty()) {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        if (runtime.isEmpty()) {
            std::fputs(
                "voltrex2-remote: XDG_RUNTIME_DIR is not set, and Voltrex II publishes "
                "nothing without it; give --folder\n",
                stderr);
            return 2;
        }
        published = QString::fromLocal8Bit(runtime) + QStringLiteral("/voltrex2");
    }
    const bool loopbackOnly = listenOn.isLoopback();
    const std::string token = loopbackOnly ? std::string() : NewToken();
    if (!loopbackOnly && token.empty()) {
        std::fputs("voltrex2-remote: no random bytes for the token\n", stderr);
        return 1;
    }
    StatusServer server(published, QString::fromStdString(token));
    const quint16 taken = server.Listen(listenOn, static_cast<quint16>(portNumber));
    if (taken == 0) {
        std::fprintf(stderr, "voltrex2-remote: cannot listen on %s port %u\n",
                     qPrintable(listenOn.toString()), portNumber);
        return 1;
    }
    if (loopbackOnly) {
        Say(QStringLiteral("Voltrex II status page: http://%1:%2/\n")
                .arg(listenOn.toString())
                .arg(taken));
    } else {
        QStringList hosts = listenOn == QHostAddress(QHostAddress::AnyIPv4)
                                ? NetworkAddresses()
                                : QStringList{listenOn.toString()};
        if (hosts.isEmpty()) {
            hosts << listenOn.toString();
        }
        Say(
            QStringLiteral("Voltrex II status page, for this network only (keep the address "
                           "secret: it holds the token):\n"));
        for (const QString& host : hosts) {
            Say(QStringLiteral("  http://%1:%2/%3/\n")
                    .arg(host)
                    .arg(taken)
                    .arg(QString::fromStdString(token)));
        }
        const std::string first = QStringLiteral("http://%1:%2/%3/")
                                      .arg(hosts.front())
                                      .arg(taken)
                                      .arg(QString::fromStdString(token))
                                      .toStdString();
        Say(QString::fromStdString("\n" + QrText(first)));
    }
    return QCoreApplication::exec();
}

}  // namespace voltrex::remote
