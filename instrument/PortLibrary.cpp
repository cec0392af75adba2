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
#define VOLTREX_LOOK_UP(ReturnType, Name, Parameters, Arguments) \
    LookUp(library_, #Name, entries_.Name);
    VOLTREX_PORT_ENTRY_POINTS(VOLTREX_LOOK_UP)
    VOLTREX_PORT_OPTIONAL_ENTRY_POINTS(VOLTREX_LOOK_UP)
#undef VOLTREX_LOOK_UP
    if (entries_.PortOut == nullptr || entries_.PortIn == nullptr) {
        lastError_ = name + " lacks PortOut or PortIn";
        ReleasePortLibrary();
        return 1;
    }
    port_ = LibraryPort(entries_);
    lastError_.clear();
    return 0;
}

void PortLibrary::ReleasePortLibrary() {
    entries_ = PortEntryPoints{};
    port_ = LibraryPort();
    library_.Close();
}

}  // namespace voltrex
