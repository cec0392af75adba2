#include "app/LiveState.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstdlib>

#include "app/EmergencySignals.h"
#include "platform/ReplaceWhole.h"
#include "procedures/ProcedureTexts.h"

namespace voltrex {

namespace {

constexpr const char* ProgramVersion = "1.0";

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

LiveState::LiveState(std::string folder, Graph& graph, const TestSettings& settings)
    : folder_(std::move(folder)), graph_(graph), settings_(settings) {}

LiveState::~LiveState() {
    Remove();
}

std::string LiveState::DefaultFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime != '/') {
        return {};
    }
    return std::string(runtime) + "/voltrex2";
}

void LiveState::Passed(const TestPass& pass) {
    test_ = pass.Test;
    phase_ = pass.Phase;
    cycle_ = pass.Cycle;
    of_ = pass.Of;
    resting_ = pass.Resting;
    // Kept by value only at the passes that write: a copy of two lines per
    // pass would cost more than the rest of this call.
    if (pass.Now == stateSecond_) {
        return;
    }
    figures_ = pass.Figures;
    title_ = pass.Title;
    status_ = pass.Status;
    ended_ = false;
    WriteState(&pass, pass.Now);
    if (graphSecond_ < 0 || pass.Now - graphSecond_ >= GraphSeconds || pass.Now < graphSecond_) {
        graphSecond_ = pass.Now;
        WriteGraph();
    }
}

void LiveState::Ended(const TestEnding& ending) {
    endingSummary_ = EndingSummary(ending);
    endingBody_ = EndingBody(ending);
    endingFailure_ = IsFailure(ending.How);
    endingSecond_ = ending.Now;
    if (ending.How == Ending::CycleDone) {
        // The cycle's end is news; the auto cycle goes on.
        WriteState(nullptr, ending.Now);
        return;
    }
    ended_ = true;
    test_ = ending.Test;
    figures_ = ending.Figures;
    WriteState(nullptr, ending.Now);
    WriteGraph();
}

void LiveState::WriteState(const TestPass* pass, std::int64_t now) {
    stateSecond_ = now;
    if (folder_.empty() || !MakeFolder()) {
        return;
    }
    QJsonObject settings{
        {QStringLiteral("cellType"), Text(settings_.CellType)},
        {QStringLiteral("cells"), settings_.NumberOfCells},
        {QStringLiteral("capacity"), settings_.Capacity},
        {QStringLiteral("chargeRate"), settings_.ChargeRate},
        {QStringLiteral("dischargeRate"), settings_.DischargeRate},
        {QStringLiteral("maximumCycles"), settings_.MaximumCycles},
    };
    const TestFigures& figures = pass != nullptr ? pass->Figures : figures_;
    const double perCell =
        figures.Cells > 0 ? figures.Volts / static_cast<double>(figures.Cells) : 0.0;
    QJsonObject state{
        {QStringLiteral("program"), QStringLiteral("Voltrex II")},
        {QStringLiteral("version"), QString::fromLatin1(ProgramVersion)},
        {QStringLiteral("pid"), static_cast<qint64>(::getpid())},
        {QStringLiteral("running"), !ended_},
        {QStringLiteral("test"), QString::fromLatin1(TestName(test_))},
        {QStringLiteral("phase"),
         resting_ ? QStringLiteral("Rest") : QString::fromLatin1(TestName(phase_))},
        {QStringLiteral("cycle"), cycle_},
        {QStringLiteral("of"), of_},
        {QStringLiteral("settings"), settings},
        {QStringLiteral("elapsed"), static_cast<qint64>(figures.Elapsed)},
        {QStringLiteral("elapsedText"), Text(texts::ElapsedTime(figures.Elapsed))},
        {QStringLiteral("volts"), figures.Volts},
        {QStringLiteral("voltsPerCell"), perCell},
        {QStringLiteral("mAh"), figures.AmpSeconds * texts::PerHour},
        {QStringLiteral("mWh"), figures.WattSeconds * texts::PerHour},
        {QStringLiteral("title"), Text(pass != nullptr ? pass->Title : title_)},
        {QStringLiteral("status"), Text(pass != nullptr ? pass->Status : status_)},
        {QStringLiteral("updated"), static_cast<qint64>(now)},
    };
    if (!endingSummary_.empty()) {
        state.insert(QStringLiteral("lastEnding"),
                     QJsonObject{{QStringLiteral("summary"), Text(endingSummary_)},
                                 {QStringLiteral("body"), Text(endingBody_)},
                                 {QStringLiteral("failure"), endingFailure_},
                                 {QStringLiteral("at"), static_cast<qint64>(endingSecond_)}});
    }
    const QByteArray json = QJsonDocument(state).toJson(QJsonDocument::Indented);
    ReplaceWhole(folder_ + "/" + StateName, std::string_view(json.constData(), json.size()));
}

void LiveState::WriteGraph() {
    if (folder_.empty() || !MakeFolder()) {
        return;
    }
    const RasterImage& image = graph_.Image();
    // A view on the graph's own pixels, never a copy of them.
    const QImage view(reinterpret_cast<const uchar*>(image.Bits()), image.Width(), image.Height(),
                      image.BytesPerLine(), QImage::Format_RGB32);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // The fastest compression: the graph is mostly black, and the time is
    // taken from a pass.
    writer.setCompression(1);
    if (!writer.write(view)) {
        return;
    }
    ReplaceWhole(folder_ + "/" + GraphName, std::string_view(png.constData(), png.size()));
}

bool LiveState::MakeFolder() {
    if (folderMade_) {
        return true;
    }
    if (::mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    folderMade_ = true;
    const std::string state = folder_ + "/" + StateName;
    const std::string graph = folder_ + "/" + GraphName;
    const char* files[] = {state.c_str(), graph.c_str()};
    RemoveOnEmergency(folder_.c_str(), files, 2);
    return true;
}

void LiveState::Remove() {
    if (!folderMade_) {
        return;
    }
    ForgetOnEmergency();
    ::unlink((folder_ + "/" + StateName).c_str());
    ::unlink((folder_ + "/" + GraphName).c_str());
    ::rmdir(folder_.c_str());
    folderMade_ = false;
}

}  // namespace voltrex
