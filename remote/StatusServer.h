#pragma once

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QString>
#include <QTcpServer>
#include <QtGlobal>

#include "remote/RateLimiter.h"

class QHttpServerRequest;
class QHttpServerResponder;

namespace voltrex::remote {

// Takes the connections for the status server and keeps any one client
// from holding them: at most PerClient open connections from one address and
// Most in all (more are closed at once), and none older than LifetimeMs (a
// slow or idle client loses its connection; a browser simply opens a new
// one). Nothing here ever waits: the sockets are read and written by the
// event loop as data comes and goes.
class GuardedTcpServer : public QTcpServer {
    Q_OBJECT

  public:
    static constexpr int PerClient = 8;
    static constexpr int Most = 64;
    static constexpr int LifetimeMs = 15000;

    explicit GuardedTcpServer(QObject* parent = nullptr) : QTcpServer(parent) {}

  protected:
    void incomingConnection(qintptr descriptor) override;

  private:
    QHash<QHostAddress, int> open_;
    int total_ = 0;
};

// voltrex2-remote's server: the status page, its script, the published
// state and the graph (the program's bitmap, served as a PNG), read from the
// runtime folder at each request. It
// serves nothing else and changes nothing: every other path is 404, a
// request from another host without the token is 403, a client over its
// rate gets 429.
class StatusServer : public QAbstractHttpServer {
    Q_OBJECT

  public:
    // folder: the program's runtime folder; token: empty on loopback alone.
    StatusServer(QString folder, QString token, QObject* parent = nullptr);

    // Listens on address:port through a GuardedTcpServer; the port taken, or
    // 0 when it could not listen.
    quint16 Listen(const QHostAddress& address, quint16 port);

  protected:
#if QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;
#else
    bool handleRequest(const QHttpServerRequest& request, QHttpServerResponder& responder) override;
    void missingHandler(const QHttpServerRequest& request,
                        QHttpServerResponder& responder) override;
#endif

  private:
    void Answer(const QHttpServerRequest& request, QHttpServerResponder& responder);
    // The program's state with what only the server can tell: how long ago
    // it was written and whether the program that wrote it still runs.
    QByteArray State() const;
    // The program's bitmap of the graph as a PNG, made again only when the
    // bitmap changed; empty when there is none.
    QByteArray GraphPng();

    QString folder_;
    QString token_;
    RateLimiter limiter_;
    QElapsedTimer clock_;
    QString graphKey_;
    QByteArray graphPng_;
};

}  // namespace voltrex::remote
