#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "instrument/PortLibrary.h"
#include "platform/CFormat.h"
#include "platform/DynamicLibrary.h"

namespace voltrex {
namespace {

#define VOLTREX_ENTRY_NAME(ReturnType, Name, Parameters, Arguments) #Name,
const std::set<std::string> EntryPoints = {VOLTREX_PORT_ENTRY_POINTS(VOLTREX_ENTRY_NAME)};
const std::set<std::string> OptionalEntryPoints = {
    VOLTREX_PORT_OPTIONAL_ENTRY_POINTS(VOLTREX_ENTRY_NAME)};
#undef VOLTREX_ENTRY_NAME

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
#define VOLTREX_EXPECT_BOUND(ReturnType, Name, Parameters, Arguments) \
    EXPECT_NE(e.Name, nullptr) << #Name;
    VOLTREX_PORT_ENTRY_POINTS(VOLTREX_EXPECT_BOUND)
#undef VOLTREX_EXPECT_BOUND
#define VOLTREX_EXPECT_OPTIONAL(ReturnType, Name, Parameters, Arguments) \
    EXPECT_EQ(e.Name != nullptr, optional.count(#Name) == 1) << #Name;
    VOLTREX_PORT_OPTIONAL_ENTRY_POINTS(VOLTREX_EXPECT_OPTIONAL)
#undef VOLTREX_EXPECT_OPTIONAL
    DynamicLibrary again;
    ASSERT_TRUE(again.Open(library)) << again.LastError();
    for (const std::string& name : OptionalEntryPoints) {
        EXPECT_EQ(again.Symbol(name.c_str()) != nullptr, optional.count(name) == 1) << name;
    }
}

TEST(PortLibraryExports, SimulatedBuildAlsoNamesItsBoardAndItsPortProblems) {
    ExpectExports(VOLTREX_SIMULATED_IO,
                  {"PortAccessProblem", "SimulatedBoardName", "SimulatedMeterReading"});
}

TEST(PortLibraryExports, RealPortBuildAlsoNamesItsPortProblemsButNoBoard) {
    ExpectExports(VOLTREX_PARPORT_IO, {"PortAccessProblem"});
}

}  // namespace
}  // namespace voltrex
