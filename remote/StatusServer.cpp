#include "remote/StatusServer.h"

#include <signal.h>

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <cerrno>
#include <utility>
#include <vector>
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
#include <QHttpHeaders>
#endif

#include "remote/AccessRules.h"
#include "remote/StatusPage.h"

namespace voltrex::remote {

namespace {

// The published files are a few kilobytes; anything larger is not theirs.
constexpr qint64 LargestFile = 4 * 1024 * 1024;

QByteArray ReadSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > LargestFile) {
        return {};
    }
    return file.readAll();
}

bool ProcessRuns(qint64 pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

QHttpServerResponder::StatusCode CodeOf(int status) {
    switch (status) {
        case 200:
            return QHttpServerResponder::StatusCode::Ok;
        case 403:
            return QHttpServerResponder::StatusCode::Forbidden;
        case 405:
            return QHttpServerResponder::StatusCode::MethodNotAllowed;
        case 429:
            return QHttpServerResponder::StatusCode::TooManyRequests;
        default:
            return QHttpServerResponder::StatusCode::NotFound;
    }
}

using Headers = std::vector<std::pair<QByteArray, QByteArray>>;

// One whole answer. The responder's interface for headers changed between Qt
// 6.4 (a fixed list, or one header at a time) and 6.7 (QHttpHeaders).
void Send(QHttpServerResponder& responder, QHttpServerResponder::StatusCode status,
          const QByteArray& body, const Headers& headers, bool head) {
#if QT_VERSION < QT_VERSION_CHECK(6, 7, 0)
    responder.writeStatusLine(status);
    for (const auto& [name, value] : headers) {
        responder.writeHeader(name, value);
    }
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    if (!head) {
        responder.writeBody(body);
    }
#else
    QHttpHeaders all;
    for (const auto& [name, value] : headers) {
        all.append(name, value);
    }
    if (head) {
        all.append(QHttpHeaders::WellKnownHeader::ContentLength, QByteArray::number(body.size()));
        responder.write(all, status);
    } else {
        responder.write(body, all, status);
    }
#endif
}

}  // namespace

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress peer = socket->peerAddress();
    if (total_ >= Most || open_.value(peer) >= PerClient) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++total_;
    ++open_[peer];
    connect(socket, &QObject::destroyed, this, [this, peer] {
        --total_;
        if (--open_[peer] <= 0) {
            open_.remove(peer);
        }
    });
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    // However slowly the client reads or writes, the connection ends here.
    QTimer::singleShot(LifetimeMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    addPendingConnection(socket);
}

StatusServer::StatusServer(QString folder, QString token, QObject* parent)
    : QAbstractHttpServer(parent), folder_(std::move(folder)), token_(std::move(token)) {
    clock_.start();
}

quint16 StatusServer::Listen(const QHostAddress& address, quint16 port) {
    auto* server = new GuardedTcpServer(this);
    if (!server->listen(address, port)) {
        delete server;
        return 0;
    }
    // A listening server is handed over as it is: Qt 6.4 and 6.8 both take
    // it this way (6.8 no longer listens itself).
    bind(server);
    return server->serverPort();
}

#if QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
bool StatusServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    QHttpServerResponder responder = makeResponder(request, socket);
    Answer(request, responder);
    return true;
}

void StatusServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    QHttpServerResponder responder = makeResponder(request, socket);
    Answer(request, responder);
}
#else
bool StatusServer::handleRequest(const QHttpServerRequest& request,
                                 QHttpServerResponder& responder) {
    Answer(request, responder);
    return true;
}

void StatusServer::missingHandler(const QHttpServerRequest& request,
                                  QHttpServerResponder& responder) {
    Answer(request, responder);
}
#endif

void StatusServer::Answer(const QHttpServerRequest& request, QHttpServerResponder& responder) {
    const QHostAddress peer = request.remoteAddress();
    // Every answer is read-only, never cached, and never tells another site
    // where it came from (the address holds the token).
    Headers headers{
        {"Cache-Control", "no-store"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
        {"X-Frame-Options", "DENY"},
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; connect-src 'self'; img-src 'self'; "
         "style-src 'unsafe-inline'; frame-ancestors 'none'"},
    };
    if (!limiter_.Allow(peer.toString().toStdString(),
                        static_cast<double>(clock_.elapsed()) / 1000.0)) {
        Send(responder, QHttpServerResponder::StatusCode::TooManyRequests,
             QByteArrayLiteral("Too many requests\n"), headers, false);
        return;
    }
    const QByteArray method = request.method() == QHttpServerRequest::Method::Head  ? "HEAD"
                              : request.method() == QHttpServerRequest::Method::Get ? "GET"
                                                                                    : "OTHER";
    const QByteArray path = request.url().path(QUrl::FullyEncoded).toUtf8();
    const Decision decision =
        Decide(method.toStdString(), path.toStdString(), token_.toStdString(), peer.isLoopback());
    if (decision.Status != 200) {
        Send(responder, CodeOf(decision.Status),
             decision.Status == 403 ? QByteArrayLiteral("Forbidden\n")
                                    : QByteArrayLiteral("Not found\n"),
             headers, false);
        return;
    }
    QByteArray body;
    QByteArray type;
    switch (decision.Target) {
        case Route::Page:
            body = PageHtml;
            type = "text/html; charset=utf-8";
            break;
        case Route::Script:
            body = PageScript;
            type = "text/javascript; charset=utf-8";
            break;
        case Route::State:
            body = State();
            type = "application/json";
            break;
        case Route::Graph:
            body = GraphPng();
            type = "image/png";
            if (body.isEmpty()) {
                Send(responder, QHttpServerResponder::StatusCode::NotFound,
                     QByteArrayLiteral("Not found\n"), headers, false);
                return;
            }
            break;
        case Route::None:
            break;
    }
    headers.emplace_back("Content-Type", type);
    Send(responder, QHttpServerResponder::StatusCode::Ok, body, headers, method == "HEAD");
}

QByteArray StatusServer::GraphPng() {
    const QFileInfo file(folder_ + QStringLiteral("/graph.bmp"));
    if (!file.exists() || file.size() > LargestFile) {
        return {};
    }
    const QString key = QString::number(file.lastModified().toMSecsSinceEpoch()) +
                        QLatin1Char('/') + QString::number(file.size());
    if (key != graphKey_) {
        QImage image(file.filePath(), "BMP");
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (image.isNull() || !image.save(&buffer, "PNG")) {
            return {};
        }
        graphPng_ = png;
        graphKey_ = key;
    }
    return graphPng_;
}

QByteArray StatusServer::State() const {
    const QString path = folder_ + QStringLiteral("/state.json");
    QJsonObject state = QJsonDocument::fromJson(ReadSmallFile(path)).object();
    const QFileInfo file(path);
    const QFileInfo graph(folder_ + QStringLiteral("/graph.bmp"));
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const bool programRuns =
        file.exists() && ProcessRuns(state.value(QStringLiteral("pid")).toInteger());
    state.insert(QStringLiteral("programRunning"), programRuns);
    if (!programRuns) {
        state.insert(QStringLiteral("running"), false);
    }
    if (file.exists()) {
        state.insert(QStringLiteral("ageSeconds"), now - file.lastModified().toSecsSinceEpoch());
    }
    if (graph.exists()) {
        state.insert(QStringLiteral("graphUpdated"), graph.lastModified().toSecsSinceEpoch());
    }
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
}

}  // namespace voltrex::remote
