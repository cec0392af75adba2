#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "instrument/PortLibrary.h"
#include "platform/CFormat.h"
#include "platform/DynamicLibrary.h"

namespace voltrex {
namespace {

const std::set<std::string> EntryPoints = {
    "PortOut",        "PortWordOut",   "PortDWordOut",     "PortIn",     "PortWordIn",
    "PortDWordIn",    "SetPortBit",    "ClrPortBit",       "NotPortBit", "GetPortBit",
    "RightPortShift", "LeftPortShift", "IsDriverInstalled"};

// The names the library's dynamic symbol table defines, with their kinds.
std::set<std::string> DefinedSymbols(const std::string& library, std::set<char>& kinds) {
    std::set<std::string> names;
    const std::string command = std::string(VOLTREX_NM) + " -D --defined-only " + library;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return names;
    }
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        char address[64];
        char kind = 0;
        char name[256];
        if (ScanC(line, "%63s %c %255s", address, &kind, name) == 3) {
            names.insert(name);
            kinds.insert(kind);
        }
    }
    pclose(pipe);
    return names;
}

// A build exports the 13 entry points and the optional ones it defines with C
// linkage (plain names) and nothing else: no simulator, no C++ runtime, no
// helper leaks out. The program's binder finds every one of them.
void ExpectExports(const char* library, const std::set<std::string>& optional) {
    SCOPED_TRACE(library);
    std::set<std::string> expected = EntryPoints;
    expected.insert(optional.begin(), optional.end());
    std::set<char> kinds;
    EXPECT_EQ(DefinedSymbols(library, kinds), expected);
    EXPECT_EQ(kinds, std::set<char>{'T'});

    PortLibrary binding;
    ASSERT_EQ(binding.BindPortLibrary(library), 0) << binding.LastError();
    const PortEntryPoints& e = binding.EntryPoints();
    for (const void* entry :
         {reinterpret_cast<const void*>(e.PortOut), reinterpret_cast<const void*>(e.PortWordOut),
          reinterpret_cast<const void*>(e.PortDWordOut), reinterpret_cast<const void*>(e.PortIn),
          reinterpret_cast<const void*>(e.PortWordIn), reinterpret_cast<const void*>(e.PortDWordIn),
          reinterpret_cast<const void*>(e.SetPortBit), reinterpret_cast<const void*>(e.ClrPortBit),
          reinterpret_cast<const void*>(e.NotPortBit), reinterpret_cast<const void*>(e.GetPortBit),
          reinterpret_cast<const void*>(e.RightPortShift),
          reinterpret_cast<const void*>(e.LeftPortShift),
          reinterpret_cast<const void*>(e.IsDriverInstalled)}) {
        EXPECT_NE(entry, nullptr);
    }
    DynamicLibrary again;
    ASSERT_TRUE(again.Open(library)) << again.LastError();
    for (const char* name : {"PortAccessProblem", "SimulatedBoardName"}) {
        EXPECT_EQ(again.Symbol(name) != nullptr, optional.count(name) == 1) << name;
    }
}

TEST(PortLibraryExports, SimulatedBuildAlsoNamesItsBoardAndItsPortProblems) {
    ExpectExports(VOLTREX_SIMULATED_IO, {"PortAccessProblem", "SimulatedBoardName"});
}

// PENDING: passes once the real-port build defines PortAccessProblem (work
// under way on its own branch); until then this is the one expected failure.
TEST(PortLibraryExports, RealPortBuildAlsoNamesItsPortProblemsButNoBoard) {
    ExpectExports(VOLTREX_PARPORT_IO, {"PortAccessProblem"});
}

}  // namespace
}  // namespace voltrex
