#include "app/SleepInhibitor.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QList>
#include <QVariant>

namespace voltrex {

namespace {

// systemd-logind's manager object (org.freedesktop.login1(5)).
constexpr const char* LoginService = "org.freedesktop.login1";
constexpr const char* LoginPath = "/org/freedesktop/login1";
constexpr const char* LoginManager = "org.freedesktop.login1.Manager";

}  // namespace

SleepInhibitor::SleepInhibitor() = default;

SleepInhibitor::SleepInhibitor(const QDBusConnection& bus, int timeoutMilliseconds)
    : bus_(bus), timeoutMilliseconds_(timeoutMilliseconds) {}

SleepInhibitor::~SleepInhibitor() {
    Release();
}

void SleepInhibitor::Acquire(const std::string& why) {
    if (Held()) {
        return;
    }
    if (!bus_) {
        bus_ = QDBusConnection::systemBus();
    }
    // No bus: nothing to ask, and no call that would only report so.
    if (!bus_->isConnected()) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(LoginService), QString::fromLatin1(LoginPath),
        QString::fromLatin1(LoginManager), QStringLiteral("Inhibit"));
    // "block" rather than "delay": a delay lock only postpones a suspend by
    // a few seconds, and a test must not be suspended at all. Idle too, so the
    // desktop's idle action (often a suspend) does not start either.
    call << QStringLiteral("sleep:idle") << QStringLiteral("Voltrex II")
         << QString::fromStdString(why) << QStringLiteral("block");
    const QDBusMessage reply = bus_->call(call, QDBus::Block, timeoutMilliseconds_);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        return;
    }
    const auto handed = reply.arguments().constFirst().value<QDBusUnixFileDescriptor>();
    if (!handed.isValid()) {
        return;
    }
    // A duplicate of our own, closed on exec so that a program started from
    // here never keeps the PC awake after this one has released it. The
    // reply's copy closes with the reply.
    lock_ = ::fcntl(handed.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
}

void SleepInhibitor::Release() noexcept {
    if (lock_ >= 0) {
        ::close(lock_);
        lock_ = -1;
    }
}

}  // namespace voltrex
