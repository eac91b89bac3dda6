#pragma once
// Common set-up of the log tests: a scratch folder per test holding the program folder,
// the debug configuration file and the per-user data folder, and a clock the test sets.

#include "platform/paths.h"
#include "resources/log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace camfleet {

namespace fs = std::filesystem;

inline std::tm MakeTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

// "VuVirEvodu: yyyy-mm-dd hh:mm:ss: tttttttt: " as the log prints it.
inline std::string LinePrefix(const std::tm& t, std::uint32_t threadId) {
    char text[96];
    std::snprintf(
        text, sizeof text, "VuVirEvodu: %04d-%02d-%02d %02d:%02d:%02d: %08x: ", t.tm_year + 1900,
        t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<unsigned>(threadId));
    return text;
}

inline std::string ReadWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

inline std::string LastLine(const fs::path& file) {
    const auto lines = SplitLines(ReadWholeFile(file));
    return lines.empty() ? std::string() : lines.back();
}

// Names of the files in `dir`, sorted; empty when the folder does not exist.
inline std::vector<std::string> FileNames(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "camfleet_log_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        programDir_ = root_ / "program";
        dataHome_ = root_ / "data";
        fs::create_directories(programDir_);
        ::setenv("CAMFLEET_DEBUG_CFG", ConfigPath().c_str(), 1);
        ::setenv("XDG_DATA_HOME", dataHome_.c_str(), 1);
        SetProgramDirectory(programDir_.string());
        SetLogClockForTesting([this] { return now_; });
    }

    void TearDown() override {
        // Switches both sinks off and closes the open file before the folder goes.
        ::setenv("CAMFLEET_DEBUG_CFG", (root_ / "absent.cfg").c_str(), 1);
        InitLog();
        SetLogClockForTesting({});
        SetProgramDirectory("");
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    fs::path ConfigPath() const { return root_ / "uc_dbg.cfg"; }

    void WriteConfig(const std::string& text) const {
        std::ofstream(ConfigPath(), std::ios::binary) << text;
    }

    // Name of the log file for `t`, run stamp `runStamp` and `part`.
    static std::string LogName(const std::tm& t, const std::string& runStamp, int part) {
        char name[96];
        std::snprintf(name, sizeof name, "VuVirEvodu_%04d%02d%02d_%s_%d.log", t.tm_year + 1900,
                      t.tm_mon + 1, t.tm_mday, runStamp.c_str(), part);
        return name;
    }

    fs::path root_;
    fs::path programDir_;
    fs::path dataHome_;
    std::tm now_ = MakeTime(2026, 3, 7, 9, 5, 3);  // read by the log under its lock
};

}  // namespace camfleet
