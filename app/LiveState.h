#pragma once

#include <cstdint>
#include <string>

#include "graph/Graph.h"
#include "procedures/TestObserver.h"
#include "procedures/TestSettings.h"

namespace voltrex {

// The running test published for other programs (voltrex2-remote) as a small
// set of files in the user's runtime folder, $XDG_RUNTIME_DIR/voltrex2/:
//
//   state.json   the test, its settings and the figures of the status line,
//                written at the first pass of each wall-clock second and at
//                every ending
//   graph.bmp    the graph as it is (32-bit pixels, uncompressed: a copy
//                costs a fraction of a millisecond, a PNG's compression
//                several), at most every GraphSeconds seconds and at every
//                ending
//
// Each file is replaced whole, so a reader sees the old one or the new one,
// never half of either. The runtime folder is a memory file system: a write
// costs a copy, never a wait on a disk. A file that cannot be written is
// skipped without a word; the test goes on. The files are removed when the
// object goes, and on every way out of the process (EmergencySignals.h).
class LiveState {
  public:
    static constexpr const char* StateName = "state.json";
    static constexpr const char* GraphName = "graph.bmp";
    static constexpr std::int64_t GraphSeconds = 5;

    // folder is made (0700) at the first write. graph and settings outlive
    // the object.
    LiveState(std::string folder, Graph& graph, const TestSettings& settings);
    ~LiveState();
    LiveState(const LiveState&) = delete;
    LiveState& operator=(const LiveState&) = delete;

    // Says that the program runs and no test has run yet, so that a reader
    // can tell a program without a test from no program at all.
    void PublishIdle(std::int64_t now);
    void Passed(const TestPass& pass);
    void Ended(const TestEnding& ending);

    // The folder of the program's runtime files: $XDG_RUNTIME_DIR/voltrex2,
    // or nothing without a runtime folder.
    static std::string DefaultFolder();

    const std::string& Folder() const { return folder_; }

  private:
    void WriteState(const TestPass* pass, std::int64_t now);
    void WriteGraph();
    bool MakeFolder();
    void Remove();

    std::string folder_;
    Graph& graph_;
    const TestSettings& settings_;
    bool folderMade_ = false;
    std::int64_t stateSecond_ = -1;
    std::int64_t graphSecond_ = -1;
    // The last ending, kept for every state written after it.
    std::string endingSummary_;
    std::string endingBody_;
    bool endingFailure_ = false;
    std::int64_t endingSecond_ = 0;
    bool ended_ = false;
    bool anyTest_ = false;
    // The last pass, for the state written at an ending.
    TestKind test_ = TestKind::Discharge;
    TestKind phase_ = TestKind::Discharge;
    std::int32_t cycle_ = 0;
    std::int32_t of_ = 0;
    TestFigures figures_;
    std::string title_;
    std::string status_;
    bool resting_ = false;
};

}  // namespace voltrex
