#include "platform/ReplaceWhole.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "testsupport/ChildProcess.h"
#include "testsupport/FileTestFolder.h"
#include "testsupport/SmallFileSystem.h"

namespace voltrex::testing {
namespace {

class ReplaceWholeTest : public FileTestFolder {
  protected:
    // Names in a folder of the test's one, sorted.
    std::vector<std::string> Entries(const std::string& name = "") const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(File(name))) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    mode_t Mode(const std::string& name) const {
        struct stat info = {};
        EXPECT_EQ(::stat(File(name).c_str(), &info), 0);
        return info.st_mode & 07777;
    }
    bool IsLink(const std::string& name) const {
        struct stat info = {};
        return ::lstat(File(name).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    }
};

using Names = std::vector<std::string>;

TEST_F(ReplaceWholeTest, TheNewContentsTakeTheNameWholeAndNoTemporaryFileStays) {
    Write(File("graph.bmp"), "an old file that is longer than the new one");
    ASSERT_TRUE(ReplaceWhole(File("graph.bmp"), std::string("new\0bytes", 9)));
    EXPECT_EQ(Read(File("graph.bmp")), std::string("new\0bytes", 9));
    ASSERT_TRUE(ReplaceWhole(File("graph.bmp"), ""));
    EXPECT_EQ(Read(File("graph.bmp")), "");
    ASSERT_TRUE(ReplaceWhole(File("new.ini"), "378\r\n"));
    EXPECT_EQ(Read(File("new.ini")), "378\r\n");
    EXPECT_EQ(Entries(), (Names{"graph.bmp", "new.ini"}));

    // A bare name is a file of the working directory.
    const int result = RunInChild([this] {
        return ::chdir(folder_.c_str()) == 0 && ReplaceWhole("Voltrex2.ini", "bare") ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Read(File("Voltrex2.ini")), "bare");
    EXPECT_EQ(Entries(), (Names{"Voltrex2.ini", "graph.bmp", "new.ini"}));
}

TEST_F(ReplaceWholeTest, AnOldFileKeepsItsModeANewOneGetsTheUsualOne) {
    const mode_t mask = ::umask(027);
    Write(File("old.ini"), "old");
    ASSERT_EQ(::chmod(File("old.ini").c_str(), 0604), 0);
    const bool replaced = ReplaceWhole(File("old.ini"), "new");
    const bool created = ReplaceWhole(File("new.bmp"), "new");
    ::umask(mask);
    ASSERT_TRUE(replaced);
    ASSERT_TRUE(created);
    EXPECT_EQ(Mode("old.ini"), mode_t{0604});
    EXPECT_EQ(Mode("new.bmp"), mode_t{0640});
}

TEST_F(ReplaceWholeTest, ASymbolicLinkStaysALinkAndItsFileIsReplaced) {
    ASSERT_EQ(::mkdir(File("real").c_str(), 0700), 0);
    Write(File("real/Voltrex2.ini"), "old");
    // A chain: an absolute link to a relative one.
    ASSERT_EQ(::symlink("real/Voltrex2.ini", File("relative").c_str()), 0);
    ASSERT_EQ(::symlink(File("relative").c_str(), File("absolute").c_str()), 0);
    ASSERT_TRUE(ReplaceWhole(File("absolute"), "new"));
    EXPECT_TRUE(IsLink("absolute"));
    EXPECT_TRUE(IsLink("relative"));
    EXPECT_EQ(Read(File("real/Voltrex2.ini")), "new");
    EXPECT_EQ(Entries("real"), Names{"Voltrex2.ini"});

    // A link to a file that does not exist yet: the file it names is made.
    ASSERT_EQ(::symlink("real/later.bmp", File("dangling").c_str()), 0);
    ASSERT_TRUE(ReplaceWhole(File("dangling"), "first"));
    EXPECT_TRUE(IsLink("dangling"));
    EXPECT_EQ(Read(File("real/later.bmp")), "first");

    // Links that lead round in a circle name no file.
    ASSERT_EQ(::symlink("loop-b", File("loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", File("loop-b").c_str()), 0);
    errno = 0;
    EXPECT_FALSE(ReplaceWhole(File("loop-a"), "never"));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_EQ(Entries(), (Names{"absolute", "dangling", "loop-a", "loop-b", "real", "relative"}));
}

TEST_F(ReplaceWholeTest, WhatCannotBeReplacedStaysAsItWas) {
    // A folder that takes no new file. Root may write anywhere, so the
    // attempt is made as an ordinary user.
    ASSERT_EQ(::mkdir(File("locked").c_str(), 0755), 0);
    Write(File("locked/graph.bmp"), "old");
    ASSERT_EQ(::chmod(File("locked").c_str(), 0555), 0);
    ASSERT_EQ(::chmod(folder_.c_str(), 0755), 0);
    const int refused = RunInChild([this] {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            return 2;
        }
        return !ReplaceWhole(File("locked/graph.bmp"), "new") && errno == EACCES ? 0 : 1;
    });
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(Read(File("locked/graph.bmp")), "old");
    EXPECT_EQ(Entries("locked"), Names{"graph.bmp"});
    ::chmod(File("locked").c_str(), 0755);  // so that the folder can be removed

    // A folder in the name's place: the new file is written, but the rename
    // over the folder fails, and the new file goes again.
    ASSERT_EQ(::mkdir(File("taken").c_str(), 0700), 0);
    Write(File("taken/inside"), "kept");
    errno = 0;
    EXPECT_FALSE(ReplaceWhole(File("taken"), "new"));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(Entries(), (Names{"locked", "taken"}));
    EXPECT_EQ(Read(File("taken/inside")), "kept");

    errno = 0;
    EXPECT_FALSE(ReplaceWhole(File("missing/graph.bmp"), "new"));
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(ReplaceWholeTest, OnAFullDiskTheOldFileStays) {
    const int result = RunInChild([this] {
        if (!MountSmallFileSystem(folder_)) {
            return NoMount;
        }
        // The old file takes one of the four pages, a filler the others.
        const std::string old(4096, 'o');
        Write(File("graph.bmp"), old);
        {
            std::ofstream filler(File("filler"), std::ios::binary);
            const std::string page(4096, 'f');
            for (int i = 0; i < 8 && filler; ++i) {
                filler << page << std::flush;
            }
        }
        const std::string bigger(8192, 'n');
        if (ReplaceWhole(File("graph.bmp"), bigger) || errno != ENOSPC) {
            return 1;
        }
        if (Read(File("graph.bmp")) != old || Entries() != Names{"filler", "graph.bmp"}) {
            return 2;
        }
        ::unlink(File("filler").c_str());
        if (!ReplaceWhole(File("graph.bmp"), bigger) || Read(File("graph.bmp")) != bigger) {
            return 3;
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
