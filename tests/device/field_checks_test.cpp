// Operator input checks: number fields, dotted addresses, host names.
#include "device/field_checks.h"

#include <gtest/gtest.h>

#include <string>

namespace camfleet {
namespace {

TEST(NumberField, DigitsOnlyWithinBounds) {
    struct Case {
        const char* name;
        std::string text;
        long long min;
        long long max;
        bool ok;
    } cases[] = {
        {"inside", "554", 1, 65535, true},
        {"lower bound", "1", 1, 65535, true},
        {"upper bound", "65535", 1, 65535, true},
        {"below", "0", 1, 65535, false},
        {"above", "65536", 1, 65535, false},
        {"leading zeros", "00080", 1, 65535, true},
        {"64 zeros", std::string(64, '0'), 0, 0, true},
        {"65 characters", std::string(65, '0'), 0, 0, false},
        {"huge", std::string(64, '9'), 0, 9223372036854775807LL, false},
        {"sign", "-1", -5, 5, false},
        {"plus", "+1", 0, 5, false},
        {"blank", " 1", 0, 5, false},
        {"letter after huge", std::string(40, '9') + "x", 0, 10, false},
        {"empty", "", 0, 5, false},
        {"negative bounds", "1", -10, -1, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckNumberField(c.text, c.min, c.max), c.ok) << c.name;
    }
}

TEST(DottedAddress, FourFieldsEachZeroTo255) {
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"192.168.1.10", true}, {"0.0.0.0", true},   {"255.255.255.255", true},
        {"256.1.1.1", false},   {"1.2.3", false},    {"1.2.3.4.5", false},
        {"1..3.4", false},      {"1.2.3.", false},   {".1.2.3", false},
        {"1.2.3.a", false},     {"1.2.3.-4", false}, {"01.2.3.4", false},
        {"1.2.3.1000", false},  {"", false},         {" 1.2.3.4", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckDottedAddress(c.text), c.ok) << c.text;
    }
}

TEST(HostName, RulesAsWorded) {
    struct Case {
        const char* name;
        std::string text;
        bool ok;
    } cases[] = {
        {"plain", "rtmp.example.com", true},
        {"upper case is lowered", "RTMP.Example.COM", true},
        {"two-letter suffix", "cam-1.de", true},
        {"no dot", "localhost", false},
        {"one-letter suffix", "a.b", false},
        {"four-letter suffix", "a.info", false},
        {"digit in suffix", "host.c0m", false},
        {"ends with dot", "host.com.", false},
        {"starts with hyphen", "-host.com", false},
        {"ends with hyphen", "host.co-", false},
        {"underscore", "my_host.com", false},
        {"blank", "my host.com", false},
        {"63 characters", std::string(59, 'a') + ".com", true},
        {"64 characters", std::string(60, 'a') + ".com", false},
        {"ip address", "192.168.1.1", false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckHostName(c.text), c.ok) << c.name;
    }
}

}  // namespace
}  // namespace camfleet
