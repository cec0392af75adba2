#pragma once

#include "io/PortIo.h"

namespace voltrex {

// The addresses of the port library's entry points, the 13 and the optional
// ones, one field each named after it; an entry the library does not export
// stays empty.
struct PortEntryPoints {
#define VOLTREX_ENTRY_FIELD(ReturnType, Name, Parameters, Arguments) Name##Proc Name = nullptr;
    VOLTREX_PORT_ENTRY_POINTS(VOLTREX_ENTRY_FIELD)
    VOLTREX_PORT_OPTIONAL_ENTRY_POINTS(VOLTREX_ENTRY_FIELD)
#undef VOLTREX_ENTRY_FIELD
};

}  // namespace voltrex
