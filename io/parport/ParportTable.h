#pragma once

#include <atomic>

#include "io/parport/SystemCalls.h"

namespace voltrex::io {

// The parallel ports the library has opened, one entry per port address range,
// opened on the first access to an address and kept until the library is
// unloaded:
//
// - through ppdev: the /dev/parportN whose base address is the data register
//   (found under procRoot), claimed, and served with the PPWDATA, PPRDATA,
//   PPRSTATUS, PPWCONTROL and PPRCONTROL requests for data, status and
//   control register (base, base + 1, base + 2). A user in the lp group
//   needs no other rights.
// - where ppdev cannot be used and direct port access is allowed and granted
//   (ioperm, root only, x86 only): inb and outb on the one port asked for.
// - otherwise: nothing; writes are dropped and reads return 0xFF, and the
//   reason is reported once, with its fix.
//
// Opening never waits for a port that another driver or program holds: the
// kernel's claim would sleep until the holder lets go, so the holder is
// looked for first and named in the reason instead.
//
// A port whose requests start failing after the claim (the card gone, the
// claim lost) is marked failed at the first failure, which is reported once:
// from then on its writes are dropped and its reads return 0xFF, so that a
// conversion finds no comparator flipping and fails.
//
// Once a port is open, Out and In are one system call (or one I/O
// instruction) after a scan of a small fixed table: no allocation, no lock and
// no stdio, so the program's emergency switch-off may write from a signal
// handler.
class ParportTable {
  public:
    enum class Access : unsigned char { None, Ppdev, Direct };
    using Reporter = void (*)(const char* message);
    // Room for the reason a port cannot be used, kept per port.
    static constexpr unsigned ProblemSize = 640;

    // report receives each message (a line ending in '\n'); the one sent when
    // an open port stops answering may come from inside a signal handler.
    constexpr ParportTable(const char* procRoot, const char* devRoot, bool allowDirect,
                           Reporter report, const SystemCalls& calls = RealSystemCalls)
        : procRoot_(procRoot),
          devRoot_(devRoot),
          allowDirect_(allowDirect),
          report_(report),
          calls_(&calls) {}
    ~ParportTable();
    ParportTable(const ParportTable&) = delete;
    ParportTable& operator=(const ParportTable&) = delete;

    void Out(unsigned short port, unsigned char value);
    unsigned char In(unsigned short port);

    // How the port is reached (opening it if it was not yet tried).
    Access AccessOf(unsigned short port);
    // Why the port cannot be used, with what to do about it; nullptr when it
    // can (opening it if it was not yet tried). The text lives in the table.
    const char* AccessProblem(unsigned short port);
    // True when some port is open, or some parallel port device could be
    // opened, or direct port access would be granted.
    bool AnyPortUsable();

  private:
    struct Entry {
        unsigned short first = 0;
        unsigned short span = 0;
        Access access = Access::None;
        int fd = -1;
        int number = -1;  // the N of /dev/parportN
        // Set at the first failed request on an open port.
        std::atomic<bool> failed{false};
        // Why the port cannot be used; empty while it can.
        char problem[ProblemSize]{};
    };
    static constexpr int Capacity = 16;

    Entry& Lookup(unsigned short port);
    void Open(Entry& entry, unsigned short port);
    void Fail(Entry& entry, const char* request, int error);
    void ReportOnce(const char* message);

    const char* procRoot_;
    const char* devRoot_;
    bool allowDirect_;
    Reporter report_;
    const SystemCalls* calls_;
    Entry entries_[Capacity]{};
    std::atomic<int> count_{0};
    Entry unavailable_{};
    bool reported_ = false;
};

}  // namespace voltrex::io
