#include "device/sdk/control_frame.h"

#include <gtest/gtest.h>

#include "device/codes.h"

namespace camfleet::sdk {
namespace {

Frame SampleFrame() {
    Frame f;
    f.kind = FrameKind::kAnswer;
    f.param = 0x0102;
    f.code = kCtlFileSystemVersion;
    f.sequence = 0xA0B0C0D0;
    f.status = -2;
    f.payload = "<RESPONSE_PARAM FileSystemVersion=\"V5\" />";
    return f;
}

TEST(ControlFrame, HeaderBytesAreBigEndianAtTheirOffsets) {
    const std::string bytes = EncodeFrame(SampleFrame());
    ASSERT_EQ(SampleFrame().payload.size(), 0x29u);
    ASSERT_EQ(bytes.size(), kFrameHeaderSize + 0x29u);
    const std::string header = bytes.substr(0, kFrameHeaderSize);
    EXPECT_EQ(header, std::string("QVCP\x01\x02\x01\x02"
                                  "\x00\x00\x03\xf4"
                                  "\xa0\xb0\xc0\xd0"
                                  "\xff\xff\xff\xfe"
                                  "\x00\x00\x00\x29",
                                  24));
}

TEST(ControlFrame, ParserReassemblesFramesFedByteByByte) {
    const Frame first = SampleFrame();
    Frame second;
    second.kind = FrameKind::kEvent;
    second.code = 32;
    const std::string stream = EncodeFrame(first) + EncodeFrame(second);
    FrameParser parser;
    std::vector<Frame> frames;
    Frame f;
    for (char c : stream) {
        parser.Feed(&c, 1);
        while (parser.Next(&f) == FrameParser::Result::kFrame)
            frames.push_back(f);
    }
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].kind, first.kind);
    EXPECT_EQ(frames[0].param, first.param);
    EXPECT_EQ(frames[0].code, first.code);
    EXPECT_EQ(frames[0].sequence, first.sequence);
    EXPECT_EQ(frames[0].status, first.status);
    EXPECT_EQ(frames[0].payload, first.payload);
    EXPECT_EQ(frames[1].code, 32u);
    EXPECT_TRUE(frames[1].payload.empty());
    EXPECT_FALSE(parser.HasPartialFrame());
}

TEST(ControlFrame, BrokenHeadersStopTheParser) {
    struct Case {
        const char* name;
        std::size_t offset;
        unsigned char value;
    };
    const Case cases[] = {
        {"bad magic", 0, 'X'},
        {"unknown version", 4, 2},
        {"kind zero", 5, 0},
        {"kind five", 5, 5},
        {"code above 24 bits", 8, 0x01},
        {"length above the maximum", 20, 0x7f},
    };
    for (const Case& c : cases) {
        std::string bytes = EncodeFrame(SampleFrame());
        bytes[c.offset] = static_cast<char>(c.value);
        FrameParser parser;
        parser.Feed(bytes.data(), bytes.size());
        Frame f;
        EXPECT_EQ(parser.Next(&f), FrameParser::Result::kBroken) << c.name;
        EXPECT_NE(parser.error(), nullptr) << c.name;
        parser.Feed(bytes.data(), bytes.size());
        EXPECT_EQ(parser.Next(&f), FrameParser::Result::kBroken) << c.name << ": stays broken";
    }
}

TEST(ControlFrame, LengthLimitIsInclusive) {
    Frame f;
    f.payload.assign(kMaxPayload, 'a');
    const std::string at = EncodeFrame(f);
    EXPECT_EQ(at.size(), kFrameHeaderSize + kMaxPayload);
    FrameParser parser;
    parser.Feed(at.data(), at.size());
    Frame out;
    EXPECT_EQ(parser.Next(&out), FrameParser::Result::kFrame);
    f.payload.push_back('a');
    EXPECT_TRUE(EncodeFrame(f).empty());
    f.payload.clear();
    f.code = kCodeMask + 1;
    EXPECT_TRUE(EncodeFrame(f).empty());
}

TEST(ControlFrame, TruncatedFrameWaitsAndIsReportedPartial) {
    const std::string bytes = EncodeFrame(SampleFrame());
    FrameParser parser;
    parser.Feed(bytes.data(), bytes.size() - 1);
    Frame f;
    EXPECT_EQ(parser.Next(&f), FrameParser::Result::kNeedMore);
    EXPECT_TRUE(parser.HasPartialFrame());
}

}  // namespace
}  // namespace camfleet::sdk
