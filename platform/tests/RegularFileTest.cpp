#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "testsupport/ChildProcess.h"
#include "testsupport/FileTestFolder.h"

namespace voltrex::testing {
namespace {

using RegularFileTest = FileTestFolder;

TEST_F(RegularFileTest, OpensARegularFileAndOneThroughALinkForBlockingReads) {
    Write(File("real"), "text");
    ASSERT_EQ(::symlink(File("real").c_str(), File("link").c_str()), 0);
    for (const char* name : {"real", "link"}) {
        RegularFile file = RegularFile::Open(File(name), O_RDONLY);
        ASSERT_TRUE(file) << name << ": " << file.FailureReason();
        // The open itself never waits, but what the caller reads is blocking.
        EXPECT_EQ(::fcntl(file.Descriptor(), F_GETFL) & O_NONBLOCK, 0) << name;
        EXPECT_NE(::fcntl(file.Descriptor(), F_GETFD) & FD_CLOEXEC, 0) << name;
        std::FILE* stream = file.ReleaseToStream("r");
        ASSERT_NE(stream, nullptr);
        EXPECT_FALSE(file);
        char text[8] = {};
        EXPECT_EQ(std::fread(text, 1, sizeof text, stream), 4u);
        EXPECT_STREQ(text, "text");
        std::fclose(stream);
    }
}

TEST_F(RegularFileTest, RefusesWhatIsNotARegularFileAtOnce) {
    ASSERT_EQ(::mkfifo(File("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(File("fifo").c_str(), File("link-to-fifo").c_str()), 0);
    // Without anybody at the other end, and with a writer waiting on it: a
    // blocking open waits in the first case, a read in the second.
    const int result = RunInChild([this] {
        int refused = 0;
        for (const char* name : {"fifo", "link-to-fifo"}) {
            for (int flags : {O_RDONLY, O_WRONLY, O_WRONLY | O_APPEND | O_CREAT}) {
                const RegularFile file = RegularFile::Open(File(name), flags, 0644);
                refused += !file && file.Error() == RegularFile::NotRegular;
            }
        }
        const int writer = ::open(File("fifo").c_str(), O_RDWR);
        refused += !RegularFile::Open(File("fifo"), O_RDONLY);
        ::close(writer);
        return refused;
    });
    EXPECT_EQ(result, 7);

    const RegularFile device = RegularFile::Open("/dev/null", O_RDONLY);
    EXPECT_FALSE(device);
    EXPECT_EQ(device.FailureReason(), "not a regular file");
    const RegularFile folder = RegularFile::Open(folder_, O_RDONLY);
    EXPECT_EQ(folder.FailureReason(), "Is a directory");
    const RegularFile missing = RegularFile::Open(File("missing"), O_RDONLY);
    EXPECT_EQ(missing.Error(), ENOENT);
    EXPECT_EQ(missing.FailureReason(), "No such file or directory");
}

}  // namespace
}  // namespace voltrex::testing
