#include "io/parport/ParportTable.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "io/parport/FixedText.h"
#include "io/parport/ParportLookup.h"
#include "platform/CFormat.h"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define VOLTREX_HAS_PORT_IO 1
#else
#define VOLTREX_HAS_PORT_IO 0
#endif

namespace voltrex::io {

namespace {

constexpr unsigned short RegisterCount = 3;  // data, status, control

// The C library's English description of an error number, without the locale
// machinery of strerror, so that a signal handler may use it.
const char* ErrorText(int error) {
    const char* text = strerrordesc_np(error);
    return text != nullptr ? text : "unknown error";
}

void Keep(char (&buffer)[ParportTable::ProblemSize], const std::string& text) {
    FixedText(buffer, sizeof buffer).Put(text.c_str()).Finish();
}

// "0x378 (parport0), 0x278 (parport1)", or "" when the driver lists none.
std::string ListedPorts(const char* procRoot, const SystemCalls& calls, long& firstDecimal) {
    std::string list;
    firstDecimal = -1;
    for (int n = 0; n <= HighestPortNumber; ++n) {
        const long base = BaseAddressOfParport(procRoot, n, calls);
        if (base < 0) {
            continue;
        }
        if (firstDecimal < 0) {
            firstDecimal = base;
        }
        list += Format("%s0x%lX (parport%d)", list.empty() ? "" : ", ", base, n);
    }
    return list;
}

std::string NotListedProblem(unsigned short port, const char* procRoot, const SystemCalls& calls) {
    long firstDecimal = -1;
    const std::string listed = ListedPorts(procRoot, calls, firstDecimal);
    if (listed.empty()) {
        return Format(
            "There is no parallel port at 0x%X: %s/sys/dev/parport/ lists no parallel port at all. "
            "Load the driver (sudo modprobe parport_pc); a PCIe card may need its address given, "
            "sudo modprobe parport_pc io=0x<address>.",
            port, procRoot);
    }
    return Format(
        "There is no parallel port at 0x%X: the driver lists %s. %s/sys/dev/parport/parport*/"
        "base-addr gives each address in decimal, to convert with printf '%%x\\n' %ld; a PCIe "
        "card that is not listed may need sudo modprobe parport_pc io=0x<address>.",
        port, listed.c_str(), procRoot, firstDecimal);
}

std::string OpenProblem(const char* path, unsigned short base, int error) {
    if (error == EACCES || error == EPERM) {
        return Format(
            "No permission to open %s for the parallel port at 0x%X: add your user to the lp "
            "group (sudo usermod -aG lp $USER), then log out and in again.",
            path, base);
    }
    if (error == ENOENT || error == ENODEV || error == ENXIO) {
        return Format(
            "%s for the parallel port at 0x%X is missing: load the ppdev module (sudo modprobe "
            "ppdev).",
            path, base);
    }
    return Format("Cannot open %s for the parallel port at 0x%X: %s.", path, base,
                  ErrorText(error));
}

// holder is what the driver's devices/active names: lp<N> is the printer
// driver, ppdev<N> a program using the port through ppdev, anything else
// another kernel driver (plip, ppa, ...).
std::string HeldProblem(unsigned short base, int n, const char* holder) {
    if (std::strncmp(holder, "lp", 2) == 0) {
        return Format(
            "The parallel port at 0x%X (parport%d) is held by the printer driver %s: unload it "
            "(sudo rmmod lp; blacklist lp in /etc/modprobe.d/ to keep it from loading at boot), "
            "then start again.",
            base, n, holder);
    }
    if (std::strncmp(holder, "ppdev", 5) == 0) {
        return Format(
            "The parallel port at 0x%X (parport%d) is in use by another program through ppdev "
            "(%s), perhaps a second Voltrex II or voltrex2-portcheck: close that program, then "
            "start again.",
            base, n, holder);
    }
    return Format(
        "The parallel port at 0x%X (parport%d) is held by the kernel driver %s: unload that "
        "driver's module (lsmod lists them), then start again.",
        base, n, holder);
}

std::string LockedProblem(unsigned short base, const char* path, long pid, const char* procRoot,
                          const SystemCalls& calls) {
    std::string holder = "another process";
    if (pid > 0) {
        char commPath[512];
        char name[64];
        if (FormatIndexedPath(commPath, sizeof commPath, procRoot, "", pid, "/comm") &&
            ReadSmallFile(commPath, name, sizeof name, calls) && name[0] != '\0') {
            holder = Format("%s (process %ld)", name, pid);
        } else {
            holder = Format("process %ld", pid);
        }
    }
    return Format(
        "The parallel port at 0x%X (%s) is in use by %s, perhaps a second Voltrex II or "
        "voltrex2-portcheck: close that program, then start again.",
        base, path, holder.c_str());
}

}  // namespace

ParportTable::~ParportTable() {
    const int count = count_.load();
    for (int i = 0; i < count; ++i) {
        if (entries_[i].access == Access::Ppdev) {
            if (!entries_[i].failed.load()) {
                calls_->Ioctl(entries_[i].fd, PPRELEASE, nullptr);
            }
            calls_->Close(entries_[i].fd);  // also drops the record lock
        }
    }
}

void ParportTable::Out(unsigned short port, unsigned char value) {
    Entry& entry = Lookup(port);
    switch (entry.access) {
        case Access::Ppdev: {
            if (entry.failed.load(std::memory_order_acquire)) {
                break;
            }
            const unsigned offset = static_cast<unsigned>(port - entry.first);
            // The status register cannot be written.
            if (offset == 1) {
                break;
            }
            const unsigned long request = offset == 0 ? PPWDATA : PPWCONTROL;
            if (calls_->Ioctl(entry.fd, request, &value) != 0) {
                Fail(entry, offset == 0 ? "PPWDATA" : "PPWCONTROL", errno);
            }
            break;
        }
        case Access::Direct:
#if VOLTREX_HAS_PORT_IO
            outb(value, port);
#endif
            break;
        case Access::None:
            break;
    }
}

unsigned char ParportTable::In(unsigned short port) {
    Entry& entry = Lookup(port);
    unsigned char value = 0xFF;
    switch (entry.access) {
        case Access::Ppdev: {
            if (entry.failed.load(std::memory_order_acquire)) {
                break;
            }
            const unsigned offset = static_cast<unsigned>(port - entry.first);
            const unsigned long request =
                offset == 0 ? PPRDATA : (offset == 1 ? PPRSTATUS : PPRCONTROL);
            if (calls_->Ioctl(entry.fd, request, &value) != 0) {
                Fail(entry, offset == 0 ? "PPRDATA" : (offset == 1 ? "PPRSTATUS" : "PPRCONTROL"),
                     errno);
                value = 0xFF;
            }
            break;
        }
        case Access::Direct:
#if VOLTREX_HAS_PORT_IO
            value = inb(port);
#endif
            break;
        case Access::None:
            break;
    }
    return value;
}

ParportTable::Access ParportTable::AccessOf(unsigned short port) {
    return Lookup(port).access;
}

const char* ParportTable::AccessProblem(unsigned short port) {
    Entry& entry = Lookup(port);
    if (entry.access == Access::None ||
        (entry.access == Access::Ppdev && entry.failed.load(std::memory_order_acquire))) {
        return entry.problem;
    }
    return nullptr;
}

bool ParportTable::AnyPortUsable() {
    const int count = count_.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i) {
        if (entries_[i].access != Access::None) {
            return true;
        }
    }
    // Only reached while no port is open: closing a descriptor of a device
    // drops every record lock this process holds on it, an open port's too.
    for (int n = 0; n <= HighestPortNumber; ++n) {
        char path[512];
        if (!FormatIndexedPath(path, sizeof path, devRoot_, "parport", n, "")) {
            break;
        }
        const int fd = calls_->Open(path, O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            calls_->Close(fd);
            return true;
        }
    }
#if VOLTREX_HAS_PORT_IO
    if (allowDirect_ && ioperm(0x378, RegisterCount, 1) == 0) {
        ioperm(0x378, RegisterCount, 0);
        return true;
    }
#endif
    return false;
}

ParportTable::Entry& ParportTable::Lookup(unsigned short port) {
    const int count = count_.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i) {
        Entry& entry = entries_[i];
        if (static_cast<unsigned short>(port - entry.first) < entry.span) {
            return entry;
        }
    }
    if (count == Capacity) {
        // More addresses than a program uses: leave them alone.
        if (unavailable_.problem[0] == '\0') {
            FixedText(unavailable_.problem, sizeof unavailable_.problem)
                .Put("Too many different port addresses were used: this one is left alone.")
                .Finish();
        }
        return unavailable_;
    }
    Open(entries_[count], port);
    count_.store(count + 1, std::memory_order_release);
    return entries_[count];
}

void ParportTable::Open(Entry& entry, unsigned short port) {
    std::string problem;
    int listedBase = -1;
    // Direct port access stands in where ppdev is missing; never for a port
    // that another driver or program is using.
    bool inUse = false;
    // The port asked for is normally the data register, but a first access to
    // the status or control register finds its port as well.
    for (unsigned short offset = 0; offset < RegisterCount && offset <= port; ++offset) {
        const auto base = static_cast<unsigned short>(port - offset);
        const int n = FindParportForBase(procRoot_, base, *calls_);
        if (n < 0) {
            continue;
        }
        listedBase = base;
        char path[512];
        FormatIndexedPath(path, sizeof path, devRoot_, "parport", n, "");
        const int fd = calls_->Open(path, O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            problem = OpenProblem(path, base, errno);
            break;
        }

        // The kernel's PPCLAIM sleeps until the port is free, and there is no
        // way to claim without waiting. So before claiming, two looks for a
        // holder, and a message naming it instead of a wait:
        // - the driver publishes the device that has the port claimed (the
        //   printer driver lp0, another ppdev user, plip, ...);
        // - every copy of this library takes a record lock on the device for
        //   as long as it has it open, which also catches a second copy of
        //   the program or of the hardware check between its claims.
        // What is left is a short race: a holder that claims after the look
        // at devices/active and does not take the lock (the printer driver
        // starting a job in that instant) makes the claim wait until its job
        // is done.
        char activePath[512];
        char holder[64];
        if (FormatIndexedPath(activePath, sizeof activePath, procRoot_, "sys/dev/parport/parport",
                              n, "/devices/active") &&
            ReadSmallFile(activePath, holder, sizeof holder, *calls_) && holder[0] != '\0' &&
            std::strcmp(holder, "none") != 0) {
            problem = HeldProblem(base, n, holder);
            inUse = true;
            calls_->Close(fd);
            break;
        }
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (calls_->Fcntl(fd, F_SETLK, &lock) != 0 && (errno == EACCES || errno == EAGAIN)) {
            struct flock probe = {};
            probe.l_type = F_WRLCK;
            probe.l_whence = SEEK_SET;
            const bool known = calls_->Fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
            problem = LockedProblem(base, path, known ? probe.l_pid : 0, procRoot_, *calls_);
            inUse = true;
            calls_->Close(fd);
            break;
        }
        // Any other failure of the lock (a file system without record locks)
        // leaves the look at devices/active as the only guard.

        if (calls_->Ioctl(fd, PPCLAIM, nullptr) != 0) {
            problem = Format(
                "Cannot claim %s for the parallel port at 0x%X (%s): another program may be "
                "using the port.",
                path, base, ErrorText(errno));
            calls_->Close(fd);
            break;
        }
        entry.first = base;
        entry.span = RegisterCount;
        entry.access = Access::Ppdev;
        entry.fd = fd;
        entry.number = n;
        return;
    }
    if (listedBase < 0) {
        problem = NotListedProblem(port, procRoot_, *calls_);
    }
#if VOLTREX_HAS_PORT_IO
    if (allowDirect_ && !inUse && ioperm(port, 1, 1) == 0) {
        entry.first = port;
        entry.span = 1;
        entry.access = Access::Direct;
        return;
    }
#else
    static_cast<void>(inUse);
#endif
    // A listed port that cannot be used is one entry for its three registers,
    // so that its reason is found from any of them.
    entry.first = listedBase >= 0 ? static_cast<unsigned short>(listedBase) : port;
    entry.span = listedBase >= 0 ? RegisterCount : 1;
    entry.access = Access::None;
    Keep(entry.problem, problem);
    ReportOnce(Format("libio (parport): %s Port access is off.\n", problem.c_str()).c_str());
}

void ParportTable::Fail(Entry& entry, const char* request, int error) {
    // The first failure wins, wherever it happens (a signal handler's
    // switch-off may be the one); everything here is async-signal-safe.
    if (entry.failed.exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    char device[256];
    FormatIndexedPath(device, sizeof device, devRoot_, "parport", entry.number, "");
    FixedText(entry.problem, sizeof entry.problem)
        .Put("The parallel port at ")
        .PutHex(entry.first)
        .Put(" (")
        .Put(device)
        .Put(") stopped answering (")
        .Put(request)
        .Put(": ")
        .Put(ErrorText(error))
        .Put(
            "): nothing more is written to it. Check that the port and its cable are still "
            "there, then restart the program.")
        .Finish();
    if (report_ != nullptr) {
        char message[ProblemSize + 32];
        FixedText(message, sizeof message)
            .Put("libio (parport): ")
            .Put(entry.problem)
            .Put("\n")
            .Finish();
        report_(message);
    }
}

void ParportTable::ReportOnce(const char* message) {
    if (!reported_ && report_ != nullptr) {
        reported_ = true;
        report_(message);
    }
}

}  // namespace voltrex::io
