// Loading and atomically saving the configuration file's lines.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "AppTestSupport.h"
#include "app/ConfigurationFile.h"
#include "platform/tests/ChildProcess.h"

using namespace voltrex;
using namespace voltrex::testing;

using Lines = std::vector<std::string>;

class ConfigurationFileTest : public QObject {
    Q_OBJECT

  private slots:
    // A fresh folder for every test.
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
    }
    void cleanup() { folder_.reset(); }

    void loadsLinesWhateverTheirEnds() {
        const QString path = folder_->filePath(QStringLiteral("mixed.ini"));
        WriteFile(path, QByteArray("378\r\n; note\n\r\nlast without end"));
        Lines lines;
        QVERIFY(!LoadConfigurationLines(path.toStdString(), lines));
        QCOMPARE(lines, (Lines{"378", "; note", "", "last without end"}));

        WriteFile(path, QByteArray());
        QVERIFY(!LoadConfigurationLines(path.toStdString(), lines));
        QVERIFY(lines.empty());
    }

    void loadingAMissingFileGivesTheReason() {
        Lines lines{"old"};
        const auto failure = LoadConfigurationLines(
            folder_->filePath(QStringLiteral("none.ini")).toStdString(), lines);
        QVERIFY(failure);
        QCOMPARE(*failure, std::string("No such file or directory"));
        QVERIFY(lines.empty());
    }

    void loadingAFifoIsRefusedAtOnce() {
        const std::string path = folder_->filePath(QStringLiteral("Voltrex2.ini")).toStdString();
        QCOMPARE(::mkfifo(path.c_str(), 0600), 0);
        // Nobody at the other end, then a writer that never writes.
        const int refused = RunInChild([&path] {
            Lines lines;
            const auto first = LoadConfigurationLines(path, lines);
            const int writer = ::open(path.c_str(), O_RDWR);
            const auto second = LoadConfigurationLines(path, lines);
            ::close(writer);
            return (first == "not a regular file") + (second == "not a regular file");
        });
        QCOMPARE(refused, 2);
    }

    void savingWritesCrLfLinesAndLeavesNoTemporaryFile() {
        const QString path = folder_->filePath(QStringLiteral("Voltrex2.ini"));
        WriteFile(path, QByteArray("old text that is longer than the new one\n"));
        QVERIFY(!SaveConfigurationLines(path.toStdString(), Lines{"378", "", "0.5 1.0"}));
        QCOMPARE(ReadFile(path), QByteArray("378\r\n\r\n0.5 1.0\r\n"));
        QCOMPARE(QDir(folder_->path()).entryList(QDir::Files),
                 QStringList{QStringLiteral("Voltrex2.ini")});

        QVERIFY(!SaveConfigurationLines(path.toStdString(), Lines{}));
        QCOMPARE(ReadFile(path), QByteArray());
    }

    void savingKeepsThePermissionsOfTheOldFile() {
        const QString path = folder_->filePath(QStringLiteral("Voltrex2.ini"));
        WriteFile(path, QByteArray("x\n"));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
        QVERIFY(!SaveConfigurationLines(path.toStdString(), Lines{"y"}));
        struct stat info {};
        QVERIFY(::stat(QFile::encodeName(path).constData(), &info) == 0);
        QCOMPARE(info.st_mode & 07777, mode_t{0640});
    }

    void savingThroughALinkReplacesItsTargetAndKeepsTheLink() {
        QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("real")));
        const QString target = folder_->filePath(QStringLiteral("real/Voltrex2.ini"));
        const QString link = folder_->filePath(QStringLiteral("Voltrex2.ini"));
        WriteFile(target, QByteArray("old\n"));
        QVERIFY(QFile::link(target, link));
        QVERIFY(!SaveConfigurationLines(link.toStdString(), Lines{"new"}));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(ReadFile(target), QByteArray("new\r\n"));
    }

    void savingIntoAMissingFolderFailsWithTheReason() {
        const QString path = folder_->filePath(QStringLiteral("gone/Voltrex2.ini"));
        const auto failure = SaveConfigurationLines(path.toStdString(), Lines{"378"});
        QVERIFY(failure);
        QCOMPARE(*failure, std::string("No such file or directory"));
        QVERIFY(!QFile::exists(path));
    }

  private:
    std::unique_ptr<QTemporaryDir> folder_;
};

int RunConfigurationFileTests(int argc, char** argv) {
    ConfigurationFileTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ConfigurationFileTest.moc"
