#include "app/DesktopNotifier.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace voltrex {

namespace {

// The freedesktop.org notification service's names and its urgencies.
constexpr const char* NotificationService = "org.freedesktop.Notifications";
constexpr const char* NotificationPath = "/org/freedesktop/Notifications";
constexpr unsigned char NormalUrgency = 1;
constexpr unsigned char CriticalUrgency = 2;
// -1: the service's own time; 0: until the user dismisses it.
constexpr int ServiceTimeout = -1;
constexpr int NeverExpires = 0;

}  // namespace

DesktopNotifier::DesktopNotifier() = default;

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus) : bus_(bus) {}

bool DesktopNotifier::Notify(const TestEnding& ending) {
    if (ending.How == Ending::StoppedByUser) {
        return false;
    }
    if (!bus_) {
        bus_ = QDBusConnection::sessionBus();
    }
    if (!bus_->isConnected()) {
        return false;
    }
    const bool failure = IsFailure(ending.How);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(NotificationService), QString::fromLatin1(NotificationPath),
        QString::fromLatin1(NotificationService), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"),
                 QVariant::fromValue(failure ? CriticalUrgency : NormalUrgency));
    // Names from the freedesktop sound theme.
    hints.insert(QStringLiteral("sound-name"),
                 failure ? QStringLiteral("dialog-warning") : QStringLiteral("complete"));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("voltrex2"));
    hints.insert(QStringLiteral("category"),
                 failure ? QStringLiteral("device.error") : QStringLiteral("transfer.complete"));
    // The body may be read as markup: a message's "<" or "&" must stay text.
    call << QStringLiteral("Voltrex II") << 0U << QStringLiteral("voltrex2")
         << QString::fromStdString(EndingSummary(ending))
         << QString::fromStdString(EndingBody(ending)).toHtmlEscaped() << QStringList() << hints
         << (failure ? NeverExpires : ServiceTimeout);
    // send() queues the call and returns; the answer is dropped when it comes.
    return bus_->send(call);
}

}  // namespace voltrex
