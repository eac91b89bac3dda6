#include "resources/log.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

namespace camfleet {

TEST(LogConfig, ParsesEachOptionByTheRulesOfTheFile) {
    struct Case {
        const char* name;
        std::string text;
        LogConfig expected;
    };
    const Case cases[] = {
        {"empty file", "", {0, 0, ""}},
        {"all three options", "file=1;network=1;monitor_ip=192.168.1.20;", {1, 1, "192.168.1.20"}},
        {"order and separators between options do not matter",
         "monitor_ip=10.0.0.9;\r\nnetwork=2;\r\nfile=1;\r\n",
         {1, 2, "10.0.0.9"}},
        {"missing keys stay off", "file=1;", {1, 0, ""}},
        {"zero switches off", "file=0;network=0;", {0, 0, ""}},
        {"key without a following ';' is ignored", "network=1;file=1", {0, 1, ""}},
        {"last key without ';' leaves the monitor empty",
         "network=1;monitor_ip=10.0.0.2",
         {0, 1, ""}},
        {"value runs up to the next ';' anywhere after the key", "file=1\nnetwork=1;", {1, 1, ""}},
        {"non-numeric value is zero", "file=yes;network=on;", {0, 0, ""}},
        {"digits stop at the first other character", "file=12abc;network=3 4;", {12, 3, ""}},
        {"leading blanks and a sign are accepted", "file= 7;network=-1;", {7, -1, ""}},
        {"hexadecimal is not read", "file=0x10;", {0, 0, ""}},
        {"empty value is zero", "file=;network=;", {0, 0, ""}},
        {"huge values clamp instead of overflowing",
         "file=99999999999999999999;network=-99999999999;",
         {INT_MAX, INT_MIN, ""}},
        {"empty monitor address", "network=1;monitor_ip=;", {0, 1, ""}},
        {"monitor text is kept as written", "monitor_ip= 127.0.0.2 ;", {0, 0, " 127.0.0.2 "}},
        {"first occurrence of a key wins", "file=1;file=0;", {1, 0, ""}},
        {"keys are case-sensitive", "FILE=1;Network=1;", {0, 0, ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseLogConfig(c.text), c.expected);
    }
}

TEST(LogConfig, PathIsAFixedConstantUnlessTheEnvironmentNamesAnother) {
    ::unsetenv("CAMFLEET_DEBUG_CFG");
    EXPECT_EQ(LogConfigPath(), "/etc/camfleet/uc_dbg.cfg");
    ::setenv("CAMFLEET_DEBUG_CFG", "", 1);
    EXPECT_EQ(LogConfigPath(), "/etc/camfleet/uc_dbg.cfg");
    ::setenv("CAMFLEET_DEBUG_CFG", "/tmp/other.cfg", 1);
    EXPECT_EQ(LogConfigPath(), "/tmp/other.cfg");
    ::unsetenv("CAMFLEET_DEBUG_CFG");
}

}  // namespace camfleet
