// voltrex2-remote's server on the loopback address, against a state
// published in a temporary folder: real requests, each answered in
// milliseconds.

#include <unistd.h>

#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "remote/StatusServer.h"

using namespace voltrex::remote;

namespace {

constexpr const char* Token = "00112233445566778899aabbccddeeff";

struct Answer {
    int Status = 0;
    QByteArray Type;
    QByteArray Body;
};

}  // namespace

class StatusServerTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        QFile state(folder_.filePath(QStringLiteral("state.json")));
        QVERIFY(state.open(QIODevice::WriteOnly));
        state.write(QJsonDocument(QJsonObject{{"pid", static_cast<qint64>(::getpid())},
                                              {"running", true},
                                              {"test", "Charge"},
                                              {"volts", 8.31}})
                        .toJson());
        state.close();
        QImage graph(640, 480, QImage::Format_RGB32);
        graph.fill(Qt::black);
        QVERIFY(graph.save(folder_.filePath(QStringLiteral("graph.bmp")), "BMP"));
        server_ = std::make_unique<StatusServer>(folder_.path(), QString::fromLatin1(Token));
        port_ = server_->Listen(QHostAddress::LocalHost, 0);
        QVERIFY(port_ != 0);
    }

    void theTokenOpensThePageStateAndGraph() {
        const QString base = QStringLiteral("/%1/").arg(QString::fromLatin1(Token));
        const Answer page = Get(base);
        QCOMPARE(page.Status, 200);
        QVERIFY(page.Type.startsWith("text/html"));
        QVERIFY(page.Body.contains("<script src=\"remote.js\">"));

        const Answer state = Get(base + QStringLiteral("state.json"));
        QCOMPARE(state.Status, 200);
        const QJsonObject json = QJsonDocument::fromJson(state.Body).object();
        QCOMPARE(json.value("test").toString(), QStringLiteral("Charge"));
        QCOMPARE(json.value("programRunning").toBool(), true);
        QVERIFY(json.value("ageSeconds").toInteger() <= 5);

        const Answer graph = Get(base + QStringLiteral("graph.png"));
        QCOMPARE(graph.Status, 200);
        QCOMPARE(graph.Type, QByteArray("image/png"));
        QCOMPARE(QImage::fromData(graph.Body, "PNG").size(), QSize(640, 480));
    }

    void aWrongTokenIsForbiddenAndNothingElseIsServed() {
        QCOMPARE(Get(QStringLiteral("/00112233445566778899aabbccddeefe/state.json")).Status, 403);
        QCOMPARE(Get(QStringLiteral("/%1/Voltrex2.ini").arg(QString::fromLatin1(Token))).Status,
                 404);
    }

  private:
    Answer Get(const QString& path) {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path)));
        std::unique_ptr<QNetworkReply> reply(network_.get(request));
        if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 5000)) {
            return {};
        }
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                reply->header(QNetworkRequest::ContentTypeHeader).toByteArray(), reply->readAll()};
    }

    QTemporaryDir folder_;
    std::unique_ptr<StatusServer> server_;
    quint16 port_ = 0;
    QNetworkAccessManager network_;
};

QTEST_GUILESS_MAIN(StatusServerTest)

#include "StatusServerTest.moc"
