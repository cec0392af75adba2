#include "instrument/PortLibrary.h"

#include <unistd.h>

#include <climits>

namespace voltrex {

namespace {

template <typename Proc>
void LookUp(const DynamicLibrary& library, const char* name, Proc& entry) {
    // dlsym hands back an object pointer; POSIX guarantees the conversion.
    entry = reinterpret_cast<Proc>(library.Symbol(name));
}

// The folder of the running program, with a trailing slash, or "" if unknown.
std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return "";
    }
    const std::string exe(path, static_cast<std::size_t>(length));
    const std::size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "" : exe.substr(0, slash + 1);
}

}  // namespace

int PortLibrary::BindPortLibrary(const std::string& name) {
    ReleasePortLibrary();
    if (!library_.Open(name)) {
        lastError_ = library_.LastError();
        // A bare name is also looked for beside the program, as a DLL beside
        // its .exe. The program's RUNPATH ($ORIGIN) normally finds it already;
        // this covers loaders that do not apply it, such as a sanitizer's
        // dlopen interceptor.
        if (name.find('/') != std::string::npos || !library_.Open(ProgramFolder() + name)) {
            return 1;
        }
    }
    LookUp(library_, "PortOut", entries_.PortOut);
    LookUp(library_, "PortWordOut", entries_.PortWordOut);
    LookUp(library_, "PortDWordOut", entries_.PortDWordOut);
    LookUp(library_, "PortIn", entries_.PortIn);
    LookUp(library_, "PortWordIn", entries_.PortWordIn);
    LookUp(library_, "PortDWordIn", entries_.PortDWordIn);
    LookUp(library_, "SetPortBit", entries_.SetPortBit);
    LookUp(library_, "ClrPortBit", entries_.ClrPortBit);
    LookUp(library_, "NotPortBit", entries_.NotPortBit);
    LookUp(library_, "GetPortBit", entries_.GetPortBit);
    LookUp(library_, "RightPortShift", entries_.RightPortShift);
    LookUp(library_, "LeftPortShift", entries_.LeftPortShift);
    LookUp(library_, "IsDriverInstalled", entries_.IsDriverInstalled);
    LookUp(library_, "PortAccessProblem", entries_.PortAccessProblem);
    LookUp(library_, "SimulatedBoardName", entries_.SimulatedBoardName);
    if (entries_.PortOut == nullptr || entries_.PortIn == nullptr) {
        lastError_ = name + " lacks PortOut or PortIn";
        ReleasePortLibrary();
        return 1;
    }
    lastError_.clear();
    return 0;
}

void PortLibrary::ReleasePortLibrary() {
    entries_ = PortEntryPoints{};
    library_.Close();
}

}  // namespace voltrex
