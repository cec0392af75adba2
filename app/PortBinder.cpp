#include "app/PortBinder.h"

namespace voltrex {

PortBinder LibraryBinder(PortLibrary& library, std::string name) {
    return [&library, name = std::move(name)]() -> Port* {
        if (library.BindPortLibrary(name) != 0) {
            return nullptr;
        }
        return &library.AsPort();
    };
}

}  // namespace voltrex
