#include "app/LiveState.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "app/EmergencySignals.h"
#include "platform/ReplaceWhole.h"
#include "procedures/ProcedureTexts.h"

namespace voltrex {

namespace {

constexpr const char* ProgramVersion = "1.0";

// A Windows bitmap header for 32-bit pixels stored top row first (the
// negative height), as the graph keeps them: 0x00RRGGBB in each word.
std::string BitmapHeader(int width, int height, std::uint32_t pixelBytes) {
    constexpr std::uint32_t HeaderBytes = 14 + 40;
    std::string header;
    const auto put = [&header](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            header += static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    };
    header += "BM";
    put(HeaderBytes + pixelBytes, 4);
    put(0, 4);
    put(HeaderBytes, 4);
    put(40, 4);
    put(static_cast<std::uint32_t>(width), 4);
    put(static_cast<std::uint32_t>(-height), 4);
    put(1, 2);   // planes
    put(32, 2);  // bits per pixel
    put(0, 4);   // no compression
    put(pixelBytes, 4);
    put(2835, 4);  // 72 dots per inch
    put(2835, 4);
    put(0, 4);
    put(0, 4);
    return header;
}

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

void LiveState::PublishIdle(std::int64_t now) {
    ended_ = true;
    WriteState(nullptr, now);
    // The first pass writes, in whatever second it comes.
    stateSecond_ = -1;
}

void LiveState::Passed(const TestPass& pass) {
    anyTest_ = true;
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
    anyTest_ = true;
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
        {QStringLiteral("elapsedText"), Text(ElapsedTime(figures.Elapsed))},
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
    if (!anyTest_) {
        state = QJsonObject{
            {QStringLiteral("program"), QStringLiteral("Voltrex II")},
            {QStringLiteral("version"), QString::fromLatin1(ProgramVersion)},
            {QStringLiteral("pid"), static_cast<qint64>(::getpid())},
            {QStringLiteral("running"), false},
            {QStringLiteral("updated"), static_cast<qint64>(now)},
        };
    }
    const QByteArray json = QJsonDocument(state).toJson(QJsonDocument::Indented);
    ReplaceWhole(folder_ + "/" + StateName, std::string_view(json.constData(), json.size()));
}

void LiveState::WriteGraph() {
    if (folder_.empty() || !MakeFolder()) {
        return;
    }
    // The pixels as they are, behind a bitmap header: a copy, where a PNG's
    // compression would take milliseconds of a pass. The status page's server
    // makes the PNG, in its own process.
    const RasterImage& image = graph_.Image();
    const std::uint32_t pixelBytes = static_cast<std::uint32_t>(image.BytesPerLine()) *
                                     static_cast<std::uint32_t>(image.Height());
    std::string bitmap = BitmapHeader(image.Width(), image.Height(), pixelBytes);
    bitmap.append(reinterpret_cast<const char*>(image.Bits()), pixelBytes);
    ReplaceWhole(folder_ + "/" + GraphName, bitmap);
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
