#include "io/parport/ParportTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempFolder.h"

namespace voltrex::io {
namespace {

using testing::TempFolder;

std::vector<std::string> reports;

void Collect(const char* message) {
    reports.emplace_back(message);
}

// A machine with one parallel port at 0x378 (parport1), as the driver lists
// it; the device folder is each test's own. Direct port access stays off: the
// tests run as root on machines whose I/O ports must not be touched.
class ParportTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reports.clear();
        proc_.Write("sys/dev/parport/parport1/base-addr", "888\t1912\n");
    }
    const char* ProcRoot() const { return proc_.Path().c_str(); }
    const char* DevRoot() const { return dev_.Path().c_str(); }

    TempFolder proc_;
    TempFolder dev_;
};

TEST_F(ParportTableTest, NoSuchPortDoesNothingAndSaysSoOnce) {
    ParportTable table(ProcRoot(), DevRoot(), false, &Collect);
    EXPECT_EQ(table.AccessOf(0x3BC), ParportTable::Access::None);
    table.Out(0x3BC, 0x35);
    EXPECT_EQ(table.In(0x3BD), 0xFF);
    EXPECT_EQ(table.In(0x3BC), 0xFF);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("there is no parallel port at 0x3BC"), std::string::npos);
    EXPECT_NE(reports[0].find("Port access is off."), std::string::npos);
    // Another missing port later is not reported again.
    EXPECT_EQ(table.In(0x278), 0xFF);
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_FALSE(table.AnyPortUsable());
}

TEST_F(ParportTableTest, MissingDeviceNodeAsksForThePpdevModule) {
    ParportTable table(ProcRoot(), DevRoot(), false, &Collect);
    // The status register is asked for first: its port is still found.
    EXPECT_EQ(table.In(0x379), 0xFF);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("parport1 for the parallel port at 0x378 is missing"),
              std::string::npos);
    EXPECT_NE(reports[0].find("modprobe ppdev"), std::string::npos);
}

TEST_F(ParportTableTest, DeviceThatCannotBeClaimedIsReported) {
    // A plain file opens but refuses the parallel port requests.
    dev_.Write("parport1", "");
    ParportTable table(ProcRoot(), DevRoot(), false, &Collect);
    EXPECT_EQ(table.AccessOf(0x378), ParportTable::Access::None);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("cannot claim"), std::string::npos);
    EXPECT_NE(reports[0].find("0x378"), std::string::npos);
    // The node exists and opens, so the facility counts as installed.
    EXPECT_TRUE(table.AnyPortUsable());
}

}  // namespace
}  // namespace voltrex::io
