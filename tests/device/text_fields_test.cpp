// Fixed-field copies, attribute escaping and hex text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/xml_messages.h"

namespace camfleet {
namespace {

TEST(CopyField, CutsToSizeMinusOneAndTerminates) {
    struct Case {
        const char* name;
        std::string src;
        const char* expected;
    } cases[] = {
        {"short", "ab", "ab"},
        {"exactly size - 1", "abcde", "abcde"},
        {"one too long", "abcdef", "abcde"},
        {"much too long", std::string(1000, 'x'), "xxxxx"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        char field[6 + 2];
        std::memset(field, '#', sizeof field);
        CopyField(field, 6, c.src);
        EXPECT_STREQ(field, c.expected) << c.name;
        EXPECT_EQ(field[6], '#') << c.name << ": wrote past the field";
    }
    char one[1] = {'#'};
    CopyField(one, std::string_view("abc"));
    EXPECT_EQ(one[0], '\0');
    CopyField(nullptr, 0, "abc");  // nothing to write into: no effect
    char field[4] = "xyz";
    CopyField(field, static_cast<const char*>(nullptr));
    EXPECT_STREQ(field, "");
}

TEST(EscapeAttribute, ReplacesTheFiveSpecialCharacters) {
    EXPECT_EQ(EscapeAttribute("a\"b&c'd<e>f"), "a&quot;b&amp;c&apos;d&lt;e&gt;f");
    EXPECT_EQ(EscapeAttribute(""), "");
    EXPECT_EQ(EscapeAttribute(static_cast<const char*>(nullptr)), "");
    EXPECT_EQ(EscapeAttribute("&amp;"), "&amp;amp;");
    EXPECT_EQ(EscapeAttribute("网络"), "网络");
}

TEST(HexText, EncodesLowerCaseAndDecodesEitherCase) {
    EXPECT_EQ(HexEncode(std::string("\x00\x7f\x80\xff", 4)), "007f80ff");
    EXPECT_EQ(HexEncode(""), "");
    struct Case {
        const char* name;
        const char* hex;
        std::string bytes;
    } cases[] = {
        {"ascii", "414243", "ABC"},
        {"upper case", "E7BD91", "\xe7\xbd\x91"},
        {"odd last digit pairs with zero", "4", "\x40"},
        {"odd after pairs", "41424", "AB\x40"},
        {"non-hex counts as 0", "zz4g", std::string("\x00\x40", 2)},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HexDecode(c.hex), c.bytes) << c.name;
    }
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all += static_cast<char>(i);
    }
    EXPECT_EQ(HexDecode(HexEncode(all)), all);
}

}  // namespace
}  // namespace camfleet
