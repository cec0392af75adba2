#include "platform/AppendWhole.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "testsupport/ChildProcess.h"
#include "testsupport/FileTestFolder.h"
#include "testsupport/SmallFileSystem.h"

namespace voltrex::testing {
namespace {

const std::string Header = "\"Title\",\"Value\"\n";
const std::string Record = "\"2026-12-08 01:49:43\",\"DIS\",0,0,1500.0\n";  // 39 bytes

class AppendWholeTest : public FileTestFolder {
  protected:
    bool Exists(const std::string& name) const { return ::access(File(name).c_str(), F_OK) == 0; }
};

TEST_F(AppendWholeTest, ANewFileGetsTheHeaderAnExistingOneOnlyTheText) {
    ASSERT_TRUE(AppendWhole(File("log.csv"), Record, Header, 0640));
    ASSERT_TRUE(AppendWhole(File("log.csv"), Record, Header, 0640));
    EXPECT_EQ(Read(File("log.csv")), Header + Record + Record);
    struct stat info = {};
    ASSERT_EQ(::stat(File("log.csv").c_str(), &info), 0);
    EXPECT_EQ(
        info.st_mode & 0777, 0640 & ~[] {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            return mask;
        }());

    // Existence alone decides: an empty file gets no header.
    Write(File("empty.csv"), "");
    ASSERT_TRUE(AppendWhole(File("empty.csv"), Record, Header, 0644));
    EXPECT_EQ(Read(File("empty.csv")), Record);

    // A link to a file that does not exist yet: the file it names is created.
    ASSERT_EQ(::symlink(File("target.csv").c_str(), File("link.csv").c_str()), 0);
    ASSERT_TRUE(AppendWhole(File("link.csv"), Record, Header, 0644));
    EXPECT_EQ(Read(File("target.csv")), Header + Record);
}

TEST_F(AppendWholeTest, AFifoOrAFolderIsLeftAloneAtOnce) {
    ASSERT_EQ(::mkfifo(File("fifo.csv").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(File("folder.csv").c_str(), 0700), 0);
    const int result = RunInChild([this] {
        int refused = 0;
        refused += !AppendWhole(File("fifo.csv"), Record, Header, 0644);
        // Somebody reading at the other end: still nothing goes in.
        const int reader = ::open(File("fifo.csv").c_str(), O_RDONLY | O_NONBLOCK);
        refused += !AppendWhole(File("fifo.csv"), Record, Header, 0644);
        char byte = 0;
        refused += ::read(reader, &byte, 1) <= 0;
        refused += !AppendWhole(File("folder.csv"), Record, Header, 0644);
        return refused;
    });
    EXPECT_EQ(result, 4);
    struct stat info = {};
    ASSERT_EQ(::lstat(File("fifo.csv").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// The results log's tests cut appends short at exact byte counts with a file
// size limit; here the disk itself is full.

TEST_F(AppendWholeTest, OnAFullFileSystemTheRecordGoesOutWholeOrNotAtAll) {
    const int result = RunInChild([this] {
        if (!MountSmallFileSystem(folder_)) {
            return NoMount;
        }
        // The old file ends 10 bytes before the end of its page, and a filler
        // takes every other page: the record's first 10 bytes fit, the rest not.
        const std::string old(4096 - 10, 'o');
        Write(File("log.csv"), old);
        {
            std::ofstream filler(File("filler"), std::ios::binary);
            const std::string page(4096, 'f');
            for (int i = 0; i < 8 && filler; ++i) {
                filler << page << std::flush;
            }
        }
        if (AppendWhole(File("log.csv"), Record, Header, 0644) || errno != ENOSPC) {
            return 1;
        }
        if (Read(File("log.csv")) != old) {
            return 2;
        }
        if (AppendWhole(File("new.csv"), Record, Header, 0644) || Exists("new.csv")) {
            return 3;
        }
        ::unlink(File("filler").c_str());
        if (!AppendWhole(File("new.csv"), Record, Header, 0644) ||
            Read(File("new.csv")) != Header + Record) {
            return 4;
        }
        return 0;
    });
    if (result == NoMount) {
        GTEST_SKIP() << "this system lets a test mount no file system";
    }
    EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace voltrex::testing
