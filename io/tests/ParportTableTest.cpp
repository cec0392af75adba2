#include "io/parport/ParportTable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "EmulatedPpdev.h"
#include "testsupport/TempFolder.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::io {
namespace {

using testing::EmulatedPpdev;
using ::testing::HasSubstr;
using testing::TempFolder;

std::vector<std::string> reports;

void Collect(const char* message) {
    reports.emplace_back(message);
}

// A machine with one parallel port at 0x378 (parport1), as the driver lists
// it, and the ppdev node of each test's own folder, answered by an emulated
// device. Direct port access stays off: the tests run as root on machines
// whose I/O ports must not be touched.
class ParportTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reports.clear();
        proc_.Write("sys/dev/parport/parport1/base-addr", "888\t1912\n");
    }
    const char* ProcRoot() const { return proc_.Path().c_str(); }
    const char* DevRoot() const { return dev_.Path().c_str(); }
    std::string Node() const { return dev_.Path() + "/parport1"; }
    void MakeNode() { dev_.Write("parport1", ""); }

    TempFolder proc_;
    TempFolder dev_;
    voltrex::testing::VirtualClock clock_;
    EmulatedPpdev device_{clock_, Node()};
};

TEST_F(ParportTableTest, NoSuchPortDoesNothingAndSaysSoOnce) {
    ParportTable table(ProcRoot(), DevRoot(), false, &Collect, EmulatedPpdev::Calls());
    EXPECT_EQ(table.AccessOf(0x3BC), ParportTable::Access::None);
    table.Out(0x3BC, 0x35);
    EXPECT_EQ(table.In(0x3BD), 0xFF);
    EXPECT_EQ(table.In(0x3BC), 0xFF);
    ASSERT_EQ(reports.size(), 1u);
    // The listed port is named, with its decimal number to convert.
    const std::string problem = table.AccessProblem(0x3BC);
    EXPECT_THAT(problem, HasSubstr("There is no parallel port at 0x3BC: the driver lists 0x378 "
                                   "(parport1). "));
    EXPECT_THAT(problem, HasSubstr("to convert with printf '%x\\n' 888;"));
    EXPECT_THAT(problem, HasSubstr("sudo modprobe parport_pc io=0x<address>."));
    EXPECT_EQ(reports[0], "libio (parport): " + problem + " Port access is off.\n");
    // Another missing port later has its own reason but is not reported again.
    EXPECT_EQ(table.In(0x278), 0xFF);
    EXPECT_THAT(table.AccessProblem(0x278), HasSubstr("no parallel port at 0x278"));
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_FALSE(table.AnyPortUsable());
    EXPECT_EQ(device_.Requests(), 0);
}

TEST_F(ParportTableTest, NoPortListedAtAllAsksForTheDriver) {
    TempFolder emptyProc;
    emptyProc.Write("sys/dev/parport/default/spintime", "500\n");
    ParportTable table(emptyProc.Path().c_str(), DevRoot(), false, &Collect,
                       EmulatedPpdev::Calls());
    EXPECT_THAT(table.AccessProblem(0x378),
                HasSubstr("There is no parallel port at 0x378: " + emptyProc.Path() +
                          "/sys/dev/parport/ lists no parallel port at all. Load the driver "
                          "(sudo modprobe parport_pc); a PCIe card"));
}

TEST_F(ParportTableTest, MissingDeviceNodeAsksForThePpdevModule) {
    ParportTable table(ProcRoot(), DevRoot(), false, &Collect, EmulatedPpdev::Calls());
    // The status register is asked for first: its port is still found, and
    // the data register's address gives the same reason.
    EXPECT_EQ(table.In(0x379), 0xFF);
    ASSERT_EQ(reports.size(), 1u);
    const char* problem = table.AccessProblem(0x378);
    ASSERT_NE(problem, nullptr);
    EXPECT_STREQ(problem,
                 (Node() + " for the parallel port at 0x378 is missing: load the ppdev module "
                           "(sudo modprobe ppdev).")
                     .c_str());
    EXPECT_EQ(table.AccessProblem(0x37A), problem);
    EXPECT_EQ(reports.size(), 1u);
}

TEST_F(ParportTableTest, NoPermissionPointsToTheLpGroup) {
    MakeNode();
    device_.RefuseOpen(EACCES);
    ParportTable table(ProcRoot(), DevRoot(), false, &Collect, EmulatedPpdev::Calls());
    EXPECT_STREQ(table.AccessProblem(0x378),
                 ("No permission to open " + Node() +
                  " for the parallel port at 0x378: add your user to the lp group (sudo usermod "
                  "-aG lp $USER), then log out and in again.")
                     .c_str());
    EXPECT_FALSE(device_.Open());
}

// The kernel's claim would sleep while another device holds the port; the
// emulated device fails the test if it is asked for one.
TEST_F(ParportTableTest, PortHeldByAnotherDeviceIsNamedNotWaitedFor) {
    MakeNode();
    device_.HoldByAnotherDevice(true);
    struct Case {
        const char* active;
        const char* expected;
    };
    const Case cases[] = {
        {"lp0\n",
         "The parallel port at 0x378 (parport1) is held by the printer driver lp0: unload it "
         "(sudo rmmod lp; blacklist lp in /etc/modprobe.d/ to keep it from loading at boot), "
         "then start again."},
        {"ppdev0\n",
         "The parallel port at 0x378 (parport1) is in use by another program through ppdev "
         "(ppdev0), perhaps a second Voltrex II or voltrex2-portcheck: close that program, then "
         "start again."},
        {"plip1\n",
         "The parallel port at 0x378 (parport1) is held by the kernel driver plip1: unload that "
         "driver's module (lsmod lists them), then start again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.active);
        reports.clear();
        proc_.Write("sys/dev/parport/parport1/devices/active", c.active);
        ParportTable table(ProcRoot(), DevRoot(), false, &Collect, EmulatedPpdev::Calls());
        EXPECT_STREQ(table.AccessProblem(0x378), c.expected);
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_THAT(reports[0], HasSubstr(c.expected));
        EXPECT_EQ(device_.Claims(), 0);
        EXPECT_FALSE(device_.Open()) << "the node is closed again";
    }
    // "none" is a free port.
    device_.HoldByAnotherDevice(false);
    proc_.Write("sys/dev/parport/parport1/devices/active", "none\n");
    ParportTable table(ProcRoot(), DevRoot(), false, &Collect, EmulatedPpdev::Calls());
    EXPECT_EQ(table.AccessProblem(0x378), nullptr);
    EXPECT_EQ(device_.Claims(), 1);
}

// A second copy of the library in another process holds the node's record
// lock (its port may be released between two of its claims, so the driver
// shows no holder). The look must not wait for the lock: an alarm ends the
// test process if it does.
TEST_F(ParportTableTest, PortLockedByAnotherProcessNamesItsProgram) {
    MakeNode();
    int ready[2];
    int done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(10);
        const int fd = open(Node().c_str(), O_RDWR);
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        const char answer = fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
        if (write(ready[1], &answer, 1) != 1) {
            _exit(1);
        }
        // Holds the lock until the parent has looked.
        char ignored;
        _exit(read(done[0], &ignored, 1) < 0 ? 1 : 0);
    }
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');
    proc_.Write(std::to_string(child) + "/comm", "voltrex2\n");

    alarm(5);
    ParportTable table(ProcRoot(), DevRoot(), false, &Collect, EmulatedPpdev::Calls());
    const std::string problem = table.AccessProblem(0x378);
    alarm(0);
    EXPECT_EQ(problem, "The parallel port at 0x378 (" + Node() +
                           ") is in use by voltrex2 (process " + std::to_string(child) +
                           "), perhaps a second Voltrex II or voltrex2-portcheck: close that "
                           "program, then start again.");
    EXPECT_EQ(device_.Claims(), 0);
    EXPECT_FALSE(device_.Open());

    // Without a readable name the process is named by its number.
    std::filesystem::remove(proc_.Path() + "/" + std::to_string(child) + "/comm");
    ParportTable again(ProcRoot(), DevRoot(), false, &Collect, EmulatedPpdev::Calls());
    EXPECT_THAT(again.AccessProblem(0x378),
                HasSubstr("is in use by process " + std::to_string(child) + ", perhaps"));

    ASSERT_EQ(write(done[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const int fd : {ready[0], ready[1], done[0], done[1]}) {
        close(fd);
    }
    // The lock is gone with its process: the port is claimed.
    ParportTable free(ProcRoot(), DevRoot(), false, &Collect, EmulatedPpdev::Calls());
    EXPECT_EQ(free.AccessProblem(0x378), nullptr);
}

// The emulated device refuses what the kernel's refuses, so the claim, the
// writes and the reads below have run as they would on a real port.
TEST_F(ParportTableTest, RequestsBeforeTheClaimFailAsTheKernelsDo) {
    MakeNode();
    unsigned char byte = 0x35;
    const unsigned long hardwareRequests[] = {PPWDATA,    PPRDATA,    PPRSTATUS,
                                              PPWCONTROL, PPRCONTROL, PPRELEASE};
    for (const unsigned long request : hardwareRequests) {
        errno = 0;
        EXPECT_EQ(device_.Request(request, &byte), -1);
        EXPECT_EQ(errno, EINVAL);
    }
    EXPECT_EQ(device_.RefusedBeforeClaim(), 6);
    EXPECT_TRUE(device_.DataWrites().empty());

    // What a crashed program left on the pins: current flowing, the control
    // lines changed by another driver.
    device_.Board().Out(0x378, 0x35);
    device_.Board().Out(0x37A, 0x04);
    ParportTable table(ProcRoot(), DevRoot(), false, &Collect, EmulatedPpdev::Calls());
    EXPECT_EQ(table.AccessProblem(0x378), nullptr);
    EXPECT_EQ(device_.RefusedBeforeClaim(), 6) << "the library asked before its claim";
    EXPECT_TRUE(device_.Claimed());
    // The claim puts the control register back and leaves the data pins alone:
    // only the program's own first write switches the instrument off.
    EXPECT_EQ(device_.Board().In(0x37A), 0x0C);
    EXPECT_EQ(device_.Board().Latch(), 0x35);
    EXPECT_EQ(table.In(0x378), 0x35);
    EXPECT_EQ(table.In(0x37A), 0x0C);
    table.Out(0x37A, 0xF5);
    EXPECT_EQ(device_.Board().In(0x37A), 0x05);
    EXPECT_EQ(table.In(0x37A), 0x05);
    table.Out(0x379, 0x00);  // the status register cannot be written
    table.Out(0x378, 0x00);
    EXPECT_EQ(device_.Board().Latch(), 0x00);
    EXPECT_EQ(device_.DataWrites(), std::vector<std::uint8_t>{0x00});
    // An idle board: 0x67 with both comparators below their inputs at count 0.
    EXPECT_EQ(table.In(0x379), 0x7F);
    EXPECT_EQ(device_.Request(PPCLAIM, nullptr), -1) << "a second claim";
    EXPECT_TRUE(table.AnyPortUsable());
}

TEST_F(ParportTableTest, FirstFailedWriteIsReportedOnceAndTheStatusReadsAllOnes) {
    MakeNode();
    ParportTable table(ProcRoot(), DevRoot(), false, &Collect, EmulatedPpdev::Calls());
    table.Out(0x378, 0x20);
    EXPECT_EQ(device_.Board().Latch(), 0x20);
    EXPECT_NE(table.In(0x379), 0xFF);
    EXPECT_TRUE(reports.empty());

    device_.Unplug(ENODEV);
    table.Out(0x378, 0x30);
    const std::string expected = "The parallel port at 0x378 (" + Node() +
                                 ") stopped answering (PPWDATA: No such device): nothing more is "
                                 "written to it. Check that the port and its cable are still "
                                 "there, then restart the program.";
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "libio (parport): " + expected + "\n");
    const int requests = device_.Requests();
    table.Out(0x378, 0x00);
    EXPECT_EQ(table.In(0x379), 0xFF);
    EXPECT_EQ(table.In(0x378), 0xFF);
    EXPECT_EQ(device_.Requests(), requests) << "a failed port is left alone";
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(table.AccessProblem(0x378), expected);
    EXPECT_EQ(device_.Board().Latch(), 0x20);
}

TEST_F(ParportTableTest, FirstFailedReadMarksThePortFailedToo) {
    MakeNode();
    ParportTable table(ProcRoot(), DevRoot(), false, &Collect, EmulatedPpdev::Calls());
    EXPECT_EQ(table.AccessProblem(0x378), nullptr);
    device_.Unplug(EIO);
    EXPECT_EQ(table.In(0x379), 0xFF);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_THAT(reports[0], HasSubstr("stopped answering (PPRSTATUS: Input/output error)"));
    EXPECT_THAT(table.AccessProblem(0x378), HasSubstr("stopped answering"));
}

// With the real system calls: a plain file opens and locks but refuses the
// claim.
TEST_F(ParportTableTest, DeviceThatCannotBeClaimedIsReported) {
    MakeNode();
    ParportTable table(ProcRoot(), DevRoot(), false, &Collect);
    EXPECT_EQ(table.AccessOf(0x378), ParportTable::Access::None);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_STREQ(table.AccessProblem(0x378),
                 ("Cannot claim " + Node() +
                  " for the parallel port at 0x378 (Inappropriate ioctl for device): another "
                  "program may be using the port.")
                     .c_str());
    // The node exists and opens, so the facility counts as installed.
    EXPECT_TRUE(table.AnyPortUsable());
}

}  // namespace
}  // namespace voltrex::io
