#pragma once

#include <atomic>

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
// - where that fails and direct port access is allowed and granted (ioperm,
//   root only, x86 only): inb and outb on the one port asked for.
// - otherwise: nothing; writes are dropped and reads return 0xFF, and the
//   reason is reported once, with its fix.
//
// Once a port is open, Out and In are one system call (or one I/O
// instruction) after a scan of a small fixed table: no allocation and no lock,
// so the program's emergency switch-off may write from a signal handler.
class ParportTable {
  public:
    enum class Access : unsigned char { None, Ppdev, Direct };
    using Reporter = void (*)(const char* message);

    constexpr ParportTable(const char* procRoot, const char* devRoot, bool allowDirect,
                           Reporter report)
        : procRoot_(procRoot), devRoot_(devRoot), allowDirect_(allowDirect), report_(report) {}
    ~ParportTable();
    ParportTable(const ParportTable&) = delete;
    ParportTable& operator=(const ParportTable&) = delete;

    void Out(unsigned short port, unsigned char value);
    unsigned char In(unsigned short port);

    // How the port is reached (opening it if it was not yet tried).
    Access AccessOf(unsigned short port);
    // True when some port is open, or some parallel port device could be
    // opened, or direct port access would be granted.
    bool AnyPortUsable();

  private:
    struct Entry {
        unsigned short first = 0;
        unsigned short span = 0;
        Access access = Access::None;
        int fd = -1;
    };
    static constexpr int Capacity = 16;

    const Entry& Lookup(unsigned short port);
    Entry Open(unsigned short port);
    void ReportOnce(const char* message);

    const char* procRoot_;
    const char* devRoot_;
    bool allowDirect_;
    Reporter report_;
    Entry entries_[Capacity]{};
    std::atomic<int> count_{0};
    Entry unavailable_{};
    bool reported_ = false;
};

}  // namespace voltrex::io
