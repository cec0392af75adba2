#include "app/PortBinder.h"

namespace voltrex {

PortBinder LibraryBinder(PortLibrary& library, std::string name) {
    return [&library, name = std::move(name)]() -> std::optional<PortBinding> {
        if (library.BindPortLibrary(name) != 0) {
            return std::nullopt;
        }
        return PortBinding{library.EntryPoints().PortOut, library.EntryPoints().PortIn};
    };
}

}  // namespace voltrex
