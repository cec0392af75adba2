#include <gtest/gtest.h>

#include "instrument/PortLibrary.h"

namespace voltrex {
namespace {

TEST(PortLibraryTest, BindsACompleteLibraryAndCallsThroughIt) {
    PortLibrary library;
    ASSERT_EQ(library.BindPortLibrary(TESTIO_COMPLETE), 0);
    const PortEntryPoints& e = library.EntryPoints();
#define VOLTREX_EXPECT_BOUND(ReturnType, Name, Parameters, Arguments) \
    EXPECT_NE(e.Name, nullptr) << #Name;
    VOLTREX_PORT_ENTRY_POINTS(VOLTREX_EXPECT_BOUND)
#undef VOLTREX_EXPECT_BOUND
    EXPECT_EQ(e.PortAccessProblem, nullptr);
    EXPECT_EQ(e.SimulatedBoardName, nullptr);
    e.PortOut(0x378, 0x35);
    EXPECT_EQ(e.PortIn(0x379), 0x5A);
    EXPECT_EQ(e.PortDWordIn(0x378), 0x35u);

    // The library as a port: the same two entry points, and the answers of
    // a usable port that says nothing more of itself.
    LibraryPort& port = library.AsPort();
    EXPECT_EQ(port.Procs().Out, e.PortOut);
    EXPECT_EQ(port.Procs().In, e.PortIn);
    port.Out(0x378, 0x47);
    EXPECT_EQ(e.PortDWordIn(0x378), 0x47u);
    EXPECT_EQ(port.In(0x379), 0x5A);
    EXPECT_TRUE(port.DriverInstalled());
    EXPECT_EQ(port.AccessProblem(0x278), nullptr);
    EXPECT_EQ(port.SimulatedBoardName(), nullptr);

    library.ReleasePortLibrary();
    EXPECT_FALSE(library.IsBound());
    EXPECT_EQ(library.EntryPoints().PortOut, nullptr);
    EXPECT_EQ(library.AsPort().Procs().Out, nullptr);
}

TEST(PortLibraryTest, BindsTheOptionalEntryPointsWhereTheLibraryHasThem) {
    PortLibrary library;
    ASSERT_EQ(library.BindPortLibrary(TESTIO_OPTIONAL), 0);
    const PortEntryPoints& e = library.EntryPoints();
    ASSERT_NE(e.PortAccessProblem, nullptr);
    ASSERT_NE(e.SimulatedBoardName, nullptr);
    EXPECT_EQ(e.PortAccessProblem(0x378), nullptr);
    EXPECT_STREQ(e.PortAccessProblem(0x278), "the test board answers only at 0x378.");
    EXPECT_STREQ(e.SimulatedBoardName(), "test board");
    // The port hands the questions on.
    LibraryPort& port = library.AsPort();
    EXPECT_EQ(port.AccessProblem(0x378), nullptr);
    EXPECT_STREQ(port.AccessProblem(0x278), "the test board answers only at 0x378.");
    EXPECT_STREQ(port.SimulatedBoardName(), "test board");
}

TEST(PortLibraryTest, ALibraryWithoutPortAccessSaysSo) {
    PortEntryPoints entries;
    entries.IsDriverInstalled = [] { return 0; };
    EXPECT_FALSE(LibraryPort(entries).DriverInstalled());
    entries.IsDriverInstalled = [] { return 2; };
    EXPECT_TRUE(LibraryPort(entries).DriverInstalled());
}

TEST(PortLibraryTest, AMissingMinorEntryLeavesItEmpty) {
    PortLibrary library;
    ASSERT_EQ(library.BindPortLibrary(TESTIO_NOMINOR), 0);
    EXPECT_EQ(library.EntryPoints().NotPortBit, nullptr);
    EXPECT_NE(library.EntryPoints().GetPortBit, nullptr);
}

TEST(PortLibraryTest, ALibraryWithoutPortInDoesNotBind) {
    PortLibrary library;
    EXPECT_EQ(library.BindPortLibrary(TESTIO_NOPORTIN), 1);
    EXPECT_FALSE(library.IsBound());
    EXPECT_EQ(library.EntryPoints().PortOut, nullptr);
}

TEST(PortLibraryTest, FindsABareNameBesideTheProgram) {
    PortLibrary library;
    EXPECT_EQ(library.BindPortLibrary("libtestio_complete.so"), 0);
    // A bind that fails leaves nothing of the library bound before it.
    EXPECT_EQ(library.BindPortLibrary("libno_such_port_library.so"), 1);
    EXPECT_FALSE(library.IsBound());
    EXPECT_EQ(library.EntryPoints().PortOut, nullptr);
    EXPECT_EQ(library.AsPort().Procs().Out, nullptr);
    // A bind that succeeds forgets the failure.
    EXPECT_EQ(library.BindPortLibrary("libtestio_complete.so"), 0);
    EXPECT_TRUE(library.LastError().empty());
}

TEST(PortLibraryTest, AMissingFileDoesNotBind) {
    PortLibrary library;
    EXPECT_EQ(library.BindPortLibrary("/nonexistent/libio.so"), 1);
    EXPECT_FALSE(library.LastError().empty());
}

}  // namespace
}  // namespace voltrex
