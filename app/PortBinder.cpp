#include "app/PortBinder.h"

namespace voltrex {

PortBinder LibraryBinder(PortLibrary& library, std::string name) {
    return [&library, name = std::move(name)]() -> std::optional<PortBinding> {
        if (library.BindPortLibrary(name) != 0) {
            return std::nullopt;
        }
        const PortEntryPoints& entries = library.EntryPoints();
        return PortBinding{entries.PortOut, entries.PortIn, entries.IsDriverInstalled,
                           entries.PortAccessProblem, entries.SimulatedBoardName};
    };
}

}  // namespace voltrex
