#include "log_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

namespace camfleet {

using LogFiles = LogTest;

// Logs lines "line <n>\n" for n in [first, last].
static void LogNumberedLines(int first, int last) {
    for (int n = first; n <= last; ++n)
        LogMessage("line %d\n", n);
}

TEST_F(LogFiles, WithoutTheDebugFileNothingIsWritten) {
    InitLog();  // no configuration file
    EXPECT_EQ(LogMessage("nobody reads this %d\n", 1), 0);
    EXPECT_EQ(LogDirectory(), "");
    EXPECT_TRUE(FileNames(programDir_).empty());
    EXPECT_FALSE(fs::exists(dataHome_));

    WriteConfig("file=0;network=0;monitor_ip=127.0.0.1;");
    InitLog();
    EXPECT_EQ(LogMessage("nor this\n"), 0);
    EXPECT_TRUE(FileNames(programDir_).empty());
}

TEST_F(LogFiles, NameCarriesTagDateRunStampAndPart) {
    now_ = MakeTime(2026, 1, 2, 3, 4, 5);
    WriteConfig("file=1;");
    InitLog();
    EXPECT_EQ(LogDirectory(), programDir_.string());
    now_ = MakeTime(2026, 1, 2, 8, 0, 0);  // later lines keep the run stamp of the start
    LogMessage("hello\n");
    EXPECT_EQ(FileNames(programDir_), std::vector<std::string>{"VuVirEvodu_20260102_030405_0.log"});
}

TEST_F(LogFiles, AppendsToAFileOfTheSameName) {
    WriteConfig("file=1;");
    const fs::path file = programDir_ / LogName(now_, "090503", 0);
    std::ofstream(file) << "earlier run\n";
    InitLog();
    LogMessage("this run\n");
    const auto lines = SplitLines(ReadWholeFile(file));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "earlier run");
    EXPECT_EQ(lines[2], LinePrefix(now_, LogThreadId()) + "this run");
}

TEST_F(LogFiles, NextPartBeginsAfterTwentyThousandLines) {
    WriteConfig("file=1;");
    InitLog();  // the build line is line 1
    LogNumberedLines(2, 40002);
    const fs::path part0 = programDir_ / LogName(now_, "090503", 0);
    const fs::path part1 = programDir_ / LogName(now_, "090503", 1);
    const fs::path part2 = programDir_ / LogName(now_, "090503", 2);
    EXPECT_EQ(FileNames(programDir_).size(), 3u);

    const auto lines0 = SplitLines(ReadWholeFile(part0));
    ASSERT_EQ(lines0.size(), 20000u);
    EXPECT_EQ(lines0.back(), LinePrefix(now_, LogThreadId()) + "line 20000");

    // After a rotation the line that opens the new part is not counted, so every later
    // part holds one line more than the first.
    const auto lines1 = SplitLines(ReadWholeFile(part1));
    ASSERT_EQ(lines1.size(), 20001u);
    EXPECT_EQ(lines1.front(), LinePrefix(now_, LogThreadId()) + "line 20001");
    EXPECT_EQ(lines1.back(), LinePrefix(now_, LogThreadId()) + "line 40001");
    EXPECT_EQ(LastLine(part2), LinePrefix(now_, LogThreadId()) + "line 40002");
}

TEST_F(LogFiles, NewDateStartsPartZeroWithTheSameRunStamp) {
    now_ = MakeTime(2026, 12, 31, 22, 10, 0);
    WriteConfig("file=1;");
    InitLog();
    LogNumberedLines(2, 20001);  // the last of them opens part 1
    now_ = MakeTime(2026, 12, 31, 23, 59, 59);
    LogMessage("before midnight\n");
    now_ = MakeTime(2027, 1, 1, 0, 0, 0);
    LogMessage("after midnight\n");
    LogNumberedLines(2, 3);

    EXPECT_EQ(FileNames(programDir_),
              (std::vector<std::string>{"VuVirEvodu_20261231_221000_0.log",
                                        "VuVirEvodu_20261231_221000_1.log",
                                        "VuVirEvodu_20270101_221000_0.log"}));
    EXPECT_EQ(LastLine(programDir_ / "VuVirEvodu_20261231_221000_1.log"),
              LinePrefix(MakeTime(2026, 12, 31, 23, 59, 59), LogThreadId()) + "before midnight");
    const auto newDay = SplitLines(ReadWholeFile(programDir_ / "VuVirEvodu_20270101_221000_0.log"));
    ASSERT_EQ(newDay.size(), 3u);
    EXPECT_EQ(newDay[0], LinePrefix(now_, LogThreadId()) + "after midnight");
}

TEST_F(LogFiles, ChangeOfMonthWithTheSameDayNumberStillStartsANewFile) {
    now_ = MakeTime(2026, 1, 5, 12, 0, 0);
    WriteConfig("file=1;");
    InitLog();
    now_ = MakeTime(2026, 2, 5, 12, 0, 0);
    LogMessage("a month later\n");
    EXPECT_EQ(FileNames(programDir_),
              (std::vector<std::string>{"VuVirEvodu_20260105_120000_0.log",
                                        "VuVirEvodu_20260205_120000_0.log"}));
}

TEST_F(LogFiles, FileThatCannotBeOpenedDropsTheLineAndTheNextLineTriesAgain) {
    WriteConfig("file=1;");
    const fs::path file = programDir_ / LogName(now_, "090503", 0);
    fs::create_directory(file);  // a folder in the way cannot be opened, even by root
    InitLog();
    EXPECT_EQ(LogMessage("dropped\n"), 0);
    fs::remove(file);
    EXPECT_EQ(LogMessage("kept\n"), 0);
    EXPECT_EQ(ReadWholeFile(file), LinePrefix(now_, LogThreadId()) + "kept\n");
}

TEST_F(LogFiles, UnwritableProgramFolderFallsBackToTheUserDataFolder) {
    const fs::path readOnly = root_ / "readonly";
    fs::create_directory(readOnly);
    ::chmod(readOnly.c_str(), 0555);
    struct Case {
        const char* name;
        fs::path programDir;
        bool rootCanWrite;
    };
    const Case cases[] = {
        {"program folder missing", root_ / "missing", false},
        {"program folder read-only", readOnly, true},
    };
    const fs::path fallback = dataHome_ / "camfleet" / "logs";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.rootCanWrite && ::geteuid() == 0)
            continue;  // root writes anywhere
        fs::remove_all(dataHome_);
        SetProgramDirectory(c.programDir.string());
        WriteConfig("file=1;");
        InitLog();
        EXPECT_EQ(LogDirectory(), fallback.string());
        LogMessage("in the user's folder\n");
        EXPECT_EQ(FileNames(fallback), std::vector<std::string>{LogName(now_, "090503", 0)});
        EXPECT_EQ(LastLine(fallback / LogName(now_, "090503", 0)),
                  LinePrefix(now_, LogThreadId()) + "in the user's folder");
    }
    ::chmod(readOnly.c_str(), 0755);
}

}  // namespace camfleet
