#include "AppTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFile>

#include "app/TMainForm.h"
#include "config/ConfigurationReader.h"
#include "platform/CFormat.h"

namespace voltrex::testing {

std::string ConfigurationText(const IniOptions& options) {
    std::string text = "; Voltrex II test configuration\n";
    text += options.PortLine + "\n";
    for (int bit = 0; bit < 12; ++bit) {
        text += Format("%.10g\n", VoltsPerCount * static_cast<double>(1 << bit));
    }
    text += "1.0\n1.0\n";  // low-side and high-side multipliers
    text += "0 0\n";
    for (int rate = 1; rate <= 15; ++rate) {
        const double charge = rate == 1 ? options.ChargeCurrent1 : 0.1 * rate;
        const double discharge = rate == 1 ? options.DischargeCurrent1 : 0.2 * rate;
        text += Format("%.4f %.4f\n", charge, discharge);
    }
    text += Format("%d\n", options.ChargeRateCount);
    text += "0.01 1.0\n0.005 1.0\n30\n";
    text += Format("%.4f\n%d\n", options.CycleTerminationRatio, options.CycleRestTime);
    text += "4.2 3.0\n3.6 2.5\n2.4 1.8\n";
    return text;
}

Configuration ConfigurationOf(const IniOptions& options) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Voltrex2.ini"));
    WriteFile(path, QByteArray::fromStdString(ConfigurationText(options)));
    Configuration config;
    if (const auto message = ReadConfiguration(config, path.toStdString())) {
        qFatal("test configuration does not read: %s", message->c_str());
    }
    return config;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

ModalScript::ModalScript() {
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &ModalScript::Poll);
    timer_.start();
}

ModalScript::~ModalScript() {
    for (Handled& entry : handled_) {
        if (entry.Window) {
            entry.Window->removeEventFilter(this);
        }
    }
}

ModalScript& ModalScript::Expect(const char* className, Action action) {
    steps_.push_back(Step{QByteArray(className), std::move(action)});
    return *this;
}

ModalScript& ModalScript::ExpectMessage(QMessageBox::StandardButton answer) {
    return Expect("QMessageBox", [this, answer](QWidget* window) {
        auto* box = static_cast<QMessageBox*>(window);
        messages_ << box->text();
        if (QAbstractButton* button = box->button(answer)) {
            button->click();
        } else {
            unexpected_ << QStringLiteral("message box without the expected button: ") +
                               box->text();
            box->done(QMessageBox::Cancel);
        }
    });
}

bool ModalScript::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Hide) {
        for (Handled& entry : handled_) {
            if (entry.Window == watched) {
                entry.Hidden = true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void ModalScript::Poll() {
    QWidget* window = QApplication::activeModalWidget();
    if (window == nullptr || !window->isVisible()) {
        return;
    }
    Handled* known = nullptr;
    for (Handled& entry : handled_) {
        if (entry.Window == window) {
            known = &entry;
        }
    }
    if (known != nullptr && !known->Hidden) {
        constexpr qint64 PatienceMs = 10000;
        if (known->SinceAction.isValid() && known->SinceAction.elapsed() > PatienceMs) {
            unexpected_ << QStringLiteral("left open by its action: ") +
                               QString::fromLatin1(window->metaObject()->className());
            known->SinceAction.invalidate();
            if (auto* dialog = qobject_cast<QDialog*>(window)) {
                dialog->done(QDialog::Rejected);
            } else {
                window->close();
            }
        }
        return;
    }
    if (steps_.empty() || !window->inherits(steps_.front().ClassName.constData())) {
        QString description = QString::fromLatin1(window->metaObject()->className()) +
                              QStringLiteral(" \"") + window->windowTitle() + QStringLiteral("\"");
        if (auto* box = qobject_cast<QMessageBox*>(window)) {
            description += QStringLiteral(": ") + box->text();
        }
        unexpected_ << description;
        if (auto* dialog = qobject_cast<QDialog*>(window)) {
            dialog->done(QDialog::Rejected);
        } else {
            window->close();
        }
        return;
    }
    Action action = std::move(steps_.front().Run);
    steps_.pop_front();
    if (known == nullptr) {
        handled_.push_back(Handled{window, false, {}});
        known = &handled_.back();
        window->installEventFilter(this);
    }
    known->Hidden = false;
    known->SinceAction.start();
    // Queued, not run inside this timer's slot: the toolkit does not fire a
    // timer again while its slot runs, and the action may open the next modal
    // window, which this script must then see.
    QPointer<QWidget> target(window);
    QMetaObject::invokeMethod(
        this,
        [target, action = std::move(action)] {
            if (target) {
                action(target);
            }
        },
        Qt::QueuedConnection);
}

WhenTrue::WhenTrue(std::function<bool()> condition, std::function<void()> action) {
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this,
            [this, condition = std::move(condition), action = std::move(action)] {
                if (fired_ || !condition()) {
                    return;
                }
                fired_ = true;
                timer_.stop();
                QMetaObject::invokeMethod(this, action, Qt::QueuedConnection);
            });
    timer_.start();
}

ProgramHarness::ProgramHarness(Library library) : library_(library) {
    if (!folder.isValid()) {
        qFatal("no temporary folder");
    }
    // The low-side comparator flips at once; the high side sets the voltage.
    port.SetFlipCounts(0, 400);
}

ProgramHarness::~ProgramHarness() = default;

void ProgramHarness::WriteConfiguration(const IniOptions& options) {
    WriteFile(ConfigurationPath(), QByteArray::fromStdString(ConfigurationText(options)));
}

void ProgramHarness::SetVoltage(double volts) {
    port.SetFlipCounts(0, static_cast<int>(volts / VoltsPerCount + 0.5));
}

Program& ProgramHarness::Start(ProgramFiles files) {
    if (files.ConfigurationPath == ConfigurationFileName) {
        files.ConfigurationPath = ConfigurationPath().toStdString();
    }
    if (files.Folder.empty()) {
        files.Folder = folder.path().toStdString();
    }
    PortBinder binder;
    if (library_ == Library::Recording) {
        binder = [this]() -> Port* {
            ++bindCalls;
            return &port;
        };
    } else {
        PortBinder real = LibraryBinder(realLibrary_, library_ == Library::File
                                                          ? libraryPath
                                                          : "libvoltrex-no-such-port-library.so");
        binder = [this, real]() {
            ++bindCalls;
            return real();
        };
    }
    program_ = std::make_unique<Program>(clock, std::move(binder), std::move(files), &sleepGuard,
                                         notifier);
    return *program_;
}

TMainForm& ProgramHarness::MainForm() {
    return program_->MainForm();
}

}  // namespace voltrex::testing
