#include "io/parport/ParportLookup.h"

#include <gtest/gtest.h>

#include "testsupport/TempFolder.h"

namespace voltrex::io {
namespace {

using testing::TempFolder;

TEST(ParportLookup, ParsesTheFirstBaseAddress) {
    EXPECT_EQ(ParseBaseAddress("888\t1912\n"), 888);
    EXPECT_EQ(ParseBaseAddress("632\n"), 632);
    EXPECT_EQ(ParseBaseAddress("  956\t-1"), 956);
    EXPECT_EQ(ParseBaseAddress(""), -1);
    EXPECT_EQ(ParseBaseAddress("\n"), -1);
    EXPECT_EQ(ParseBaseAddress("0x378"), 0);  // the driver writes decimal only
    EXPECT_EQ(ParseBaseAddress("-888"), -1);
    EXPECT_EQ(ParseBaseAddress("99999999999"), -1);
}

TEST(ParportLookup, FindsThePortByItsBaseAddressAcrossGaps) {
    TempFolder proc;
    proc.Write("sys/dev/parport/parport0/base-addr", "632\t1656\n");
    // parport1 was unplugged; parport2 is the one at 0x378.
    proc.Write("sys/dev/parport/parport2/base-addr", "888\t1912\n");
    proc.Write("sys/dev/parport/parport3/base-addr", "garbage\n");
    proc.Write("sys/dev/parport/parport4/base-addr", "");
    proc.Write("sys/dev/parport/default/spintime", "500\n");
    EXPECT_EQ(FindParportForBase(proc.Path().c_str(), 0x378), 2);
    EXPECT_EQ(FindParportForBase(proc.Path().c_str(), 0x278), 0);
    EXPECT_EQ(FindParportForBase(proc.Path().c_str(), 0x3BC), -1);
    // The ECP block's address is not a base address.
    EXPECT_EQ(FindParportForBase(proc.Path().c_str(), 1912), -1);
    EXPECT_EQ(FindParportForBase((proc.Path() + "/absent").c_str(), 0x378), -1);
}

TEST(ParportLookup, BuildsPathsWithinTheBuffer) {
    char buffer[32];
    EXPECT_TRUE(FormatIndexedPath(buffer, sizeof buffer, "/dev", "parport", 12, ""));
    EXPECT_STREQ(buffer, "/dev/parport12");
    EXPECT_TRUE(FormatIndexedPath(buffer, sizeof buffer, "/p", "x", 0, "/base-addr"));
    EXPECT_STREQ(buffer, "/p/x0/base-addr");
    char small[8];
    EXPECT_FALSE(FormatIndexedPath(small, sizeof small, "/dev", "parport", 3, ""));
    EXPECT_STREQ(small, "/dev/pa");
}

}  // namespace
}  // namespace voltrex::io
