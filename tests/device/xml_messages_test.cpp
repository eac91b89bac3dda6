// Acceptance of incoming discovery messages, their headers, and RESPONSE_PARAM answers.
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <string>

#include "device/xml_messages.h"

namespace camfleet {
namespace {

std::string Answer(const std::string& root, const std::string& header) {
    return "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n<" + root + ">\n" + header +
           "<MESSAGE_BODY></MESSAGE_BODY>\n</" + root + ">";
}

const char kFullHeader[] =
    "<MESSAGE_HEADER Msg_type=\"SYSTEM_SEARCHIPC_MESSAGE\" "
    "Msg_code=\"3\" Msg_flag=\"0\" />";

TEST(MessageRoot, FindsRootByBothTagsNorvekFirst) {
    struct Case {
        const char* name;
        std::string text;
        const char* expected;
    } cases[] = {
        {"norvek", "<XML_NORVEK>\n</XML_NORVEK>", kRootNorvek},
        {"kestravin", "<XML_KESTRAVIN></XML_KESTRAVIN>", kRootKestravin},
        {"both, norvek wins", "<XML_KESTRAVIN><XML_NORVEK></XML_NORVEK></XML_KESTRAVIN>",
         kRootNorvek},
        {"tag with attributes", "<XML_NORVEK a=\"1\"></XML_NORVEK >", kRootNorvek},
        {"opening tag only", "<XML_NORVEK>", nullptr},
        {"closing tag only", "</XML_NORVEK>", nullptr},
        {"longer name", "<XML_NORVEKX></XML_NORVEKX>", nullptr},
        {"tag at the very end", "</XML_NORVEK><XML_NORVEK", nullptr},
        {"empty", "", nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindMessageRoot(c.text), c.expected) << c.name;
    }
}

TEST(MessageHeader, ResultCodesForEachMissingPart) {
    struct Case {
        const char* name;
        std::string text;
        int expected;
    } cases[] = {
        {"complete norvek", Answer("XML_NORVEK", kFullHeader), 0},
        {"complete kestravin", Answer("XML_KESTRAVIN", kFullHeader), 0},
        {"no root", "<OTHER>" + std::string(kFullHeader) + "</OTHER>", -1},
        {"root tags inside another root",
         "<OTHER><XML_NORVEK></XML_NORVEK>" + std::string(kFullHeader) + "</OTHER>", -1},
        {"broken xml", "<XML_NORVEK><MESSAGE_HEADER Msg_type=\"a </XML_NORVEK>", -1},
        {"two root elements: the first is read",
         "<XML_NORVEK></XML_NORVEK><XML_NORVEK>" + std::string(kFullHeader) + "</XML_NORVEK>", -2},
        {"no header", Answer("XML_NORVEK", ""), -2},
        {"no type", Answer("XML_NORVEK", "<MESSAGE_HEADER Msg_code=\"3\" Msg_flag=\"0\"/>"), -3},
        {"no code", Answer("XML_NORVEK", "<MESSAGE_HEADER Msg_type=\"t\" Msg_flag=\"0\"/>"), -4},
        {"no flag", Answer("XML_NORVEK", "<MESSAGE_HEADER Msg_type=\"t\" Msg_code=\"3\"/>"), -5},
    };
    for (const Case& c : cases) {
        MessageHeader header;
        EXPECT_EQ(ParseMessageHeader(c.text, &header), c.expected) << c.name;
    }
}

TEST(MessageHeader, CopiesTheFirstHeader) {
    MessageHeader header;
    const std::string text =
        Answer("XML_NORVEK", std::string(kFullHeader) +
                                 "<MESSAGE_HEADER Msg_type=\"x\" Msg_code=\"9\" Msg_flag=\"9\"/>");
    ASSERT_EQ(ParseMessageHeader(text, &header), 0);
    EXPECT_EQ(header.root, kRootNorvek);
    EXPECT_EQ(header.msgType, "SYSTEM_SEARCHIPC_MESSAGE");
    EXPECT_EQ(header.msgCode, "3");
    EXPECT_EQ(header.msgFlag, "0");
}

TEST(MessageHeader, OwnEnvelopeParsesBack) {
    MessageHeader header;
    const std::string text = PrintDiscoveryEnvelope(kRootKestravin, 7, 2, "<X/>");
    ASSERT_EQ(ParseMessageHeader(text, &header), 0);
    EXPECT_EQ(header.root, kRootKestravin);
    EXPECT_EQ(header.msgCode, "7");
    EXPECT_EQ(header.msgFlag, "2");
}

// Both roots in one text: the document is accepted under the root it really has.
TEST(MessageRoot, BothRootsTakeTheDocumentRoot) {
    tinyxml2::XMLDocument doc;
    const std::string norvek =
        Answer("XML_NORVEK", std::string(kFullHeader) + "<XML_KESTRAVIN></XML_KESTRAVIN>");
    const tinyxml2::XMLElement* root = ParseMessageRoot(norvek, &doc);
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->Name(), kRootNorvek);

    const std::string kestravin =
        Answer("XML_KESTRAVIN", std::string(kFullHeader) + "<XML_NORVEK></XML_NORVEK>");
    root = ParseMessageRoot(kestravin, &doc);
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->Name(), kRootKestravin);
}

TEST(ResponseParam, ResultCodes) {
    struct Case {
        const char* name;
        const char* text;
        int expected;
        const char* value;
    } cases[] = {
        {"present", "<RESPONSE_PARAM FileSystemVersion=\"V1.2.3\" />", 0, "V1.2.3"},
        {"cut to the buffer", "<RESPONSE_PARAM FileSystemVersion=\"0123456789ABC\"/>", 0,
         "012345678"},
        {"other root", "<REQUEST_PARAM FileSystemVersion=\"V1\"/>", -2, ""},
        {"no element", "just text", -1, ""},
        {"empty", "", -1, ""},
        {"broken", "<RESPONSE_PARAM FileSystemVersion=\"V1\"", -1, ""},
        {"attribute missing", "<RESPONSE_PARAM Other=\"1\"/>", -3, ""},
    };
    for (const Case& c : cases) {
        char out[10] = "garbage";
        EXPECT_EQ(ParseResponseParam(c.text, "FileSystemVersion", out, sizeof out), c.expected)
            << c.name;
        EXPECT_STREQ(out, c.value) << c.name;
    }
}

}  // namespace
}  // namespace camfleet
