// Large, odd and hostile input through whole runs: many files, names beyond ASCII, protected folders.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/simulated/simulation.h"
#include "tests/host/program.h"

namespace {

const std::string folder = "C:\\Program Files\\Quenderholt\\Pelvane";

class ExtremeInput : public ::testing::Test {
protected:
    void SetUp() override {
        sim::reset();
        sim::addFile(folder + "\\pelvane32.dll");
        sim::addFile("C:\\Program Files\\Quenderholt\\Pelvane Keep\\keep.txt", "keep");
        sim::answer({IDYES, IDOK});
    }
    void TearDown() override {
        EXPECT_TRUE(sim::exists("C:\\Program Files\\Quenderholt\\Pelvane Keep\\keep.txt"));
        EXPECT_EQ(sim::openSearches(), 0);
        EXPECT_EQ(sim::openKeys(), 0);
    }
};

TEST_F(ExtremeInput, AFolderOfFiftyThousandFilesGoesWithOneLineEach) {
    for (int i = 0; i < 50000; ++i) sim::addFile(folder + "\\Data\\file" + std::to_string(i) + ".pvk");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(runProgram(), 0);
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started).count();
    EXPECT_FALSE(sim::exists(folder));
    const auto log = lines(logText());
    long deleted = 0;
    for (const std::string& line : log)
        if (line.rfind("File " + folder + "\\Data\\file", 0) == 0 && line.size() > 8 &&
            line.compare(line.size() - 8, 8, " deleted") == 0)
            ++deleted;
    EXPECT_EQ(deleted, 50000);
    EXPECT_LT(seconds, 60) << "the walk should not slow down with the size of a folder";
    EXPECT_EQ(sim::boxes().back().style, 0x40u);
}

TEST_F(ExtremeInput, NamesBeyondAsciiAreLoggedByteForByte) {
    const std::string name = "Tastatur \xE4\xF6\xFC \xA9 \xDF.pvk";  // bytes of the ANSI code page
    sim::addFile(folder + "\\" + name);
    sim::addFile(folder + "\\\xC9tude\\\xE6.txt");
    EXPECT_EQ(runProgram(), 0);
    EXPECT_FALSE(sim::exists(folder));
    const std::string log = logText();
    EXPECT_NE(log.find("File " + folder + "\\" + name + " deleted\r\n"), std::string::npos);
    EXPECT_NE(log.find("File " + folder + "\\\xC9tude\\\xE6.txt deleted\r\n"), std::string::npos);
    EXPECT_NE(log.find("Directory " + folder + "\\\xC9tude deleted\r\n"), std::string::npos);
}

TEST_F(ExtremeInput, ReadOnlyHiddenAndSystemFoldersAreEmptiedAndDeleted) {
    const DWORD protectedFolder =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    sim::addFolder(folder + "\\Locked", protectedFolder);
    sim::addFile(folder + "\\Locked\\inner.pvk", "", FILE_ATTRIBUTE_READONLY);
    sim::addFolder(folder + "\\Locked\\Deeper", protectedFolder);
    EXPECT_EQ(runProgram(), 0);
    EXPECT_FALSE(sim::exists(folder));
    EXPECT_NE(logText().find("Directory " + folder + "\\Locked\\Deeper deleted\r\n"), std::string::npos);
}

TEST_F(ExtremeInput, EntriesBeginningWithAFullStopAreRemovedLikeAnyOther) {
    sim::addFile(folder + "\\.keep");
    sim::addFile(folder + "\\..hidden\\x.txt");
    EXPECT_EQ(runProgram(), 0);
    EXPECT_FALSE(sim::exists(folder));
    EXPECT_TRUE(sim::pendingDeletes().empty());
    EXPECT_NE(logText().find("File " + folder + "\\..hidden\\x.txt deleted\r\n"), std::string::npos);
    EXPECT_EQ(sim::boxes().back().style, 0x40u);
}

}  // namespace
