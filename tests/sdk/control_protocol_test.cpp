#include "device/sdk/control_protocol.h"

#include <gtest/gtest.h>

namespace camfleet::sdk {
namespace {

TEST(ControlProtocol, LoginDigestMatchesReferenceHmac) {
    // HMAC-SHA256(key "730418", "00112233445566778899aabbccddeeff:admin") from an
    // independent implementation.
    EXPECT_EQ(LoginDigest("730418", "00112233445566778899aabbccddeeff", "admin"),
              "6440d25faab55b3195ec39cdd8202b1e879d84e057a304882fd90626a25d3f7d");
    EXPECT_NE(LoginDigest("730419", "00112233445566778899aabbccddeeff", "admin"),
              LoginDigest("730418", "00112233445566778899aabbccddeeff", "admin"));
}

TEST(ControlProtocol, NoncesAreFreshHex) {
    const std::string a = MakeNonce();
    EXPECT_EQ(a.size(), 32u);
    EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(a, MakeNonce());
}

TEST(ControlProtocol, HelloAndLoginRoundTrip) {
    Hello hello{3, 1, "abc", "0a1b"};
    Hello parsed;
    ASSERT_TRUE(ParseHello(PrintHello(hello), &parsed));
    EXPECT_EQ(parsed.protocol, 3);
    EXPECT_EQ(parsed.minProtocol, 1);
    EXPECT_EQ(parsed.nonce, "abc");
    EXPECT_EQ(parsed.kx, "0a1b");
    KeyExchange exchange;
    ASSERT_TRUE(ParseKeyExchange(PrintKeyExchange({2, "aa", "bb"}), &exchange));
    EXPECT_EQ(exchange.protocol, 2);
    EXPECT_EQ(exchange.kx, "aa");
    EXPECT_EQ(exchange.header, "bb");
    KeyExchangeResult result;
    ASSERT_TRUE(ParseKeyExchangeResult(PrintKeyExchangeResult({"S<1>", "k", "s", "h"}), &result));
    EXPECT_EQ(result.serial, "S<1>");
    EXPECT_EQ(result.key, "k");
    EXPECT_EQ(result.signature, "s");
    EXPECT_EQ(result.header, "h");
    Login login{1, "ad\"min", "ff"};
    Login back;
    ASSERT_TRUE(ParseLogin(PrintLogin(login), &back));
    EXPECT_EQ(back.user, "ad\"min");
    EXPECT_EQ(back.digest, "ff");
    EXPECT_EQ(ParseLoginResult(PrintLoginResult(25), 10), 25);
}

TEST(ControlProtocol, HelloRejections) {
    const char* cases[] = {
        "",
        "<Hello Protocol=\"1\" MinProtocol=\"1\" />",              // no nonce
        "<Hello Protocol=\"0\" MinProtocol=\"1\" Nonce=\"a\" />",  // no version
        "<Other Protocol=\"1\" MinProtocol=\"1\" Nonce=\"a\" />",
        "<Hello Protocol=\"1\" MinProtocol=\"1\" Nonce=\"a\"",  // not well-formed
    };
    for (const char* text : cases) {
        Hello h;
        EXPECT_FALSE(ParseHello(text, &h)) << text;
    }
}

TEST(ControlProtocol, VersionChoice) {
    struct Case {
        const char* name;
        Hello hello;
        int expected;
    };
    const Case cases[] = {
        {"same version", {4, 4, "n", "k"}, 4},
        {"newer camera still serving version 4", {5, 1, "n", "k"}, 4},
        {"camera that dropped version 4", {6, 5, "n", "k"}, 0},
        {"camera with the secret-stream records", {3, 3, "n", "k"}, 0},
        {"camera without the access mark", {2, 2, "n", "k"}, 0},
        {"camera without the channel", {1, 1, "n", ""}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseProtocol(c.hello), c.expected) << c.name;
}

TEST(ControlProtocol, RequestAttributesAreReadLeniently) {
    struct Case {
        const char* name;
        const char* text;
        std::map<std::string, std::string> expected;
    };
    const Case cases[] = {
        {"no blank between attributes",
         "<REQUEST_PARAM ChannelNo=\"0\"Output=\"1\"/>\n",
         {{"ChannelNo", "0"}, {"Output", "1"}}},
        {"line breaks",
         "<REQUEST_PARAM\r\nTime=\"20260102 03:04:05\"\r\nTimeZone=\"1200\"\n/>",
         {{"Time", "20260102 03:04:05"}, {"TimeZone", "1200"}}},
        {"declaration first",
         "<?xml version=\"1.0\"?><REQUEST_PARAM Mode=\"NightMode\" />",
         {{"Mode", "NightMode"}}},
        {"bare word", "RESPONSE_PARAM", {}},
        {"unterminated value", "<R A=\"1\" B=\"2", {{"A", "1"}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadAttributes(c.text), c.expected) << c.name;
    EXPECT_EQ(FirstElementName("<?xml version=\"1.0\"?>\n<REQUEST_PARAM/>"), "REQUEST_PARAM");
    EXPECT_EQ(FirstElementName("RESPONSE_PARAM"), "");
}

}  // namespace
}  // namespace camfleet::sdk
