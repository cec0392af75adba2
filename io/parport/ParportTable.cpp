#include "io/parport/ParportTable.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

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
}

ParportTable::~ParportTable() {
    const int count = count_.load();
    for (int i = 0; i < count; ++i) {
        if (entries_[i].access == Access::Ppdev) {
            ioctl(entries_[i].fd, PPRELEASE);
            close(entries_[i].fd);
        }
    }
}

void ParportTable::Out(unsigned short port, unsigned char value) {
    const Entry& entry = Lookup(port);
    switch (entry.access) {
        case Access::Ppdev:
            if (port == entry.first) {
                ioctl(entry.fd, PPWDATA, &value);
            } else if (port == entry.first + 2) {
                ioctl(entry.fd, PPWCONTROL, &value);
            }
            // The status register cannot be written.
            break;
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
    const Entry& entry = Lookup(port);
    unsigned char value = 0xFF;
    switch (entry.access) {
        case Access::Ppdev: {
            const unsigned offset = static_cast<unsigned>(port - entry.first);
            const unsigned long request =
                offset == 0 ? PPRDATA : (offset == 1 ? PPRSTATUS : PPRCONTROL);
            if (ioctl(entry.fd, request, &value) != 0) {
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

bool ParportTable::AnyPortUsable() {
    const int count = count_.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i) {
        if (entries_[i].access != Access::None) {
            return true;
        }
    }
    for (int n = 0; n <= 63; ++n) {
        char path[512];
        if (!FormatIndexedPath(path, sizeof path, devRoot_, "parport", n, "")) {
            break;
        }
        const int fd = open(path, O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            close(fd);
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

const ParportTable::Entry& ParportTable::Lookup(unsigned short port) {
    const int count = count_.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i) {
        const Entry& entry = entries_[i];
        if (static_cast<unsigned short>(port - entry.first) < entry.span) {
            return entry;
        }
    }
    if (count == Capacity) {
        return unavailable_;  // more addresses than a program uses: leave them alone
    }
    entries_[count] = Open(port);
    count_.store(count + 1, std::memory_order_release);
    return entries_[count];
}

ParportTable::Entry ParportTable::Open(unsigned short port) {
    std::string reason;
    bool listed = false;
    // The port asked for is normally the data register, but a first access to
    // the status or control register finds its port as well.
    for (unsigned short offset = 0; offset < RegisterCount && offset <= port; ++offset) {
        const auto base = static_cast<unsigned short>(port - offset);
        const int n = FindParportForBase(procRoot_, base);
        if (n < 0) {
            continue;
        }
        listed = true;
        char path[512];
        FormatIndexedPath(path, sizeof path, devRoot_, "parport", n, "");
        const int fd = open(path, O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == EACCES || error == EPERM) {
                reason = Format(
                    "no permission to open %s for the parallel port at 0x%X. Add your user to "
                    "the lp group (sudo usermod -aG lp $USER) and log in again.",
                    path, base);
            } else if (error == ENOENT || error == ENODEV || error == ENXIO) {
                reason = Format(
                    "%s for the parallel port at 0x%X is missing: load the ppdev module (sudo "
                    "modprobe ppdev).",
                    path, base);
            } else {
                reason = Format("cannot open %s for the parallel port at 0x%X: %s.", path, base,
                                std::strerror(error));
            }
            break;
        }
        if (ioctl(fd, PPCLAIM) != 0) {
            reason = Format(
                "cannot claim %s for the parallel port at 0x%X (%s); another program may be "
                "using the port.",
                path, base, std::strerror(errno));
            close(fd);
            break;
        }
        return Entry{base, RegisterCount, Access::Ppdev, fd};
    }
    if (!listed) {
        reason = Format(
            "there is no parallel port at 0x%X: no %s/sys/dev/parport/parport*/base-addr names "
            "it (is the parport_pc module loaded?).",
            port, procRoot_);
    }
#if VOLTREX_HAS_PORT_IO
    if (allowDirect_ && ioperm(port, 1, 1) == 0) {
        return Entry{port, 1, Access::Direct, -1};
    }
#endif
    ReportOnce(Format("libio (parport): %s Port access is off.\n", reason.c_str()).c_str());
    return Entry{port, 1, Access::None, -1};
}

void ParportTable::ReportOnce(const char* message) {
    if (!reported_ && report_ != nullptr) {
        reported_ = true;
        report_(message);
    }
}

}  // namespace voltrex::io
