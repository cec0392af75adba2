// Loading the configuration file's lines for the editor, their encoding, and
// saving them back whole.

#include "config/ConfigurationFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "testsupport/ChildProcess.h"
#include "testsupport/FileTestFolder.h"

namespace voltrex::testing {
namespace {

using Lines = std::vector<std::string>;

class ConfigurationFileTest : public FileTestFolder {
  protected:
    // Loads the bytes as the file and saves its lines straight back.
    std::string RoundTrip(const std::string& bytes, Lines& lines) {
        Write(File("Voltrex2.ini"), bytes);
        ConfigurationFile file(File("Voltrex2.ini"));
        EXPECT_EQ(file.Load(lines), std::nullopt);
        EXPECT_EQ(file.Save(lines), std::nullopt);
        return Read(File("Voltrex2.ini"));
    }
};

TEST_F(ConfigurationFileTest, LoadsLinesWhateverTheirEnds) {
    Write(File("mixed.ini"), "378\r\n; note\n\r\nlast without end");
    Lines lines{"old"};
    ASSERT_EQ(LoadConfigurationLines(File("mixed.ini"), lines), std::nullopt);
    EXPECT_EQ(lines, (Lines{"378", "; note", "", "last without end"}));

    Write(File("mixed.ini"), "");
    ASSERT_EQ(LoadConfigurationLines(File("mixed.ini"), lines), std::nullopt);
    EXPECT_TRUE(lines.empty());
}

TEST_F(ConfigurationFileTest, LoadingAMissingFileGivesTheReason) {
    Lines lines{"old"};
    EXPECT_EQ(LoadConfigurationLines(File("none.ini"), lines), "No such file or directory");
    EXPECT_TRUE(lines.empty());
    ConfigurationFile file(File("none.ini"));
    EXPECT_EQ(file.Load(lines), "No such file or directory");
}

TEST_F(ConfigurationFileTest, LoadingAFifoIsRefusedAtOnce) {
    const std::string path = File("Voltrex2.ini");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    // Nobody at the other end, then a writer that never writes.
    const int refused = RunInChild([&path] {
        Lines lines;
        const auto first = LoadConfigurationLines(path, lines);
        const int writer = ::open(path.c_str(), O_RDWR);
        const auto second = LoadConfigurationLines(path, lines);
        ::close(writer);
        return (first == "not a regular file") + (second == "not a regular file");
    });
    EXPECT_EQ(refused, 2);
}

TEST_F(ConfigurationFileTest, SavingWritesCrLfLinesAndLeavesNoTemporaryFile) {
    const std::string path = File("Voltrex2.ini");
    Write(path, "old text that is longer than the new one\n");
    ASSERT_EQ(SaveConfigurationLines(path, Lines{"378", "", "0.5 1.0", ""}), std::nullopt);
    EXPECT_EQ(Read(path), "378\r\n\r\n0.5 1.0\r\n\r\n");
    ASSERT_EQ(SaveConfigurationLines(path, Lines{}), std::nullopt);
    EXPECT_EQ(Read(path), "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(ConfigurationFileTest, SavingKeepsThePermissionsOfTheOldFile) {
    const std::string path = File("Voltrex2.ini");
    Write(path, "x\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(SaveConfigurationLines(path, Lines{"y"}), std::nullopt);
    struct stat info = {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, mode_t{0640});
}

TEST_F(ConfigurationFileTest, SavingThroughALinkReplacesItsTargetAndKeepsTheLink) {
    ASSERT_EQ(::mkdir(File("real").c_str(), 0700), 0);
    Write(File("real/Voltrex2.ini"), "old\n");
    ASSERT_EQ(::symlink(File("real/Voltrex2.ini").c_str(), File("Voltrex2.ini").c_str()), 0);
    ASSERT_EQ(SaveConfigurationLines(File("Voltrex2.ini"), Lines{"new"}), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_symlink(File("Voltrex2.ini")));
    EXPECT_EQ(Read(File("real/Voltrex2.ini")), "new\r\n");
}

TEST_F(ConfigurationFileTest, SavingIntoAMissingFolderFailsWithTheReason) {
    const std::string path = File("gone/Voltrex2.ini");
    EXPECT_EQ(SaveConfigurationLines(path, Lines{"378"}), "No such file or directory");
    EXPECT_EQ(ConfigurationFile(path).Save(Lines{"378"}), "No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(ConfigurationFileTest, AUtf8FileIsHandedOutAsItIsLessItsByteOrderMark) {
    Lines lines;
    // One mark at the very start goes; a second one is a character.
    EXPECT_EQ(RoundTrip("\xEF\xBB\xBF\xEF\xBB\xBF; 20\xC2\xB0"
                        "C\n378\n",
                        lines),
              "\xEF\xBB\xBF; 20\xC2\xB0"
              "C\r\n378\r\n");
    EXPECT_EQ(lines, (Lines{"\xEF\xBB\xBF; 20\xC2\xB0"
                            "C",
                            "378"}));
    // Every form of UTF-8 stays as it is, the largest character and the
    // non-characters among them.
    const std::string valid =
        "\xC2\x80 \xDF\xBF \xE0\xA0\x80 \xED\x9F\xBF \xEE\x80\x80 \xEF\xBF\xBF "
        "\xF0\x90\x80\x80 \xF4\x8F\xBF\xBF";
    EXPECT_EQ(RoundTrip(valid, lines), valid + "\r\n");
    EXPECT_EQ(lines, Lines{valid});
}

TEST_F(ConfigurationFileTest, AnyOtherFileIsLatin1AndWrittenBackByteForByte) {
    // Each of these makes the file Latin-1: an overlong form, a surrogate, a
    // character above U+10FFFF, a lone continuation byte, a sequence cut short
    // by the line end, and a byte order mark in a file that is not UTF-8.
    for (const std::string bad :
         {"\xC0\xAF", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80",
          "\xF5\x80\x80\x80", "\x80", "\xE2\x82\n", "\xEF\xBB\xBF\xFC"}) {
        const std::string bytes = "; M\xC3\xBCller " + bad + "\n378";
        Lines lines;
        std::string expected;
        for (const char c : bytes + "\n") {
            expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
        }
        EXPECT_EQ(RoundTrip(bytes, lines), expected) << bad;
        ASSERT_FALSE(lines.empty());
        // The editor sees every byte as its own character: "Ã¼" for C3 BC.
        EXPECT_EQ(lines.front().substr(0, 7), "; M\xC3\x83\xC2\xBC") << bad;
    }
}

TEST_F(ConfigurationFileTest, ALatin1FileGivenACharacterLatin1LacksBecomesUtf8) {
    Write(File("Voltrex2.ini"), "; M\xFCller\n378\n");
    ConfigurationFile file(File("Voltrex2.ini"));
    Lines lines;
    ASSERT_EQ(file.Load(lines), std::nullopt);
    EXPECT_EQ(lines, (Lines{"; M\xC3\xBCller", "378"}));
    lines.push_back("; \xC3\xBF is the last of Latin-1");
    ASSERT_EQ(file.Save(lines), std::nullopt);
    EXPECT_EQ(Read(File("Voltrex2.ini")),
              "; M\xFCller\r\n378\r\n; \xFF is the last of Latin-1\r\n");
    lines.push_back("; 5 \xE2\x82\xAC");
    ASSERT_EQ(file.Save(lines), std::nullopt);
    EXPECT_EQ(
        Read(File("Voltrex2.ini")),
        "; M\xC3\xBCller\r\n378\r\n; \xC3\xBF is the last of Latin-1\r\n; 5 \xE2\x82\xAC\r\n");

    // A file that could not be read leaves nothing of the last one's encoding.
    ASSERT_EQ(::unlink(File("Voltrex2.ini").c_str()), 0);
    ASSERT_NE(file.Load(lines), std::nullopt);
    ASSERT_EQ(file.Save(Lines{"; M\xC3\xBCller"}), std::nullopt);
    EXPECT_EQ(Read(File("Voltrex2.ini")), "; M\xC3\xBCller\r\n");
}

}  // namespace
}  // namespace voltrex::testing
