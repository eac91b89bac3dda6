// Lab firmware images: the streaming writer and the chunk-by-chunk checker.

#include "sim/firmware_image.h"

#include "device/sdk/bulk_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace camfleet::sim {
namespace {

using Bytes = std::vector<uint8_t>;

const FirmwareImageHeader kHeader{"IPC-X*", "V2.1.0 build 7", 10000};

// The sink of a writer that collects what it is given.
FirmwareImageWriter::Sink Collect(Bytes* out) {
    return [out](std::span<const uint8_t> bytes) {
        out->insert(out->end(), bytes.begin(), bytes.end());
        return true;
    };
}

// A whole image of `header` with filler payload, written in chunks of `chunk` bytes.
Bytes Image(const FirmwareImageHeader& header, std::size_t chunk = 4096) {
    Bytes out;
    FirmwareImageWriter writer(Collect(&out));
    EXPECT_TRUE(writer.Begin(header));
    Bytes payload(chunk);
    for (uint64_t at = 0; at < header.payloadSize; at += chunk) {
        const auto size =
            static_cast<std::size_t>(std::min<uint64_t>(chunk, header.payloadSize - at));
        FirmwareFiller(at, std::span(payload).first(size));
        EXPECT_TRUE(writer.Write(std::span(payload).first(size)));
    }
    EXPECT_TRUE(writer.Finish());
    return out;
}

// The header bytes alone, as Begin writes them.
Bytes HeaderOnly(const FirmwareImageHeader& header) {
    Bytes out;
    FirmwareImageWriter writer(Collect(&out));
    EXPECT_TRUE(writer.Begin(header));
    return out;
}

// Feeds `image` in chunks whose sizes cycle through `sizes` (empty: all at once). Whatever the
// verdict, the checker's digest of what it was fed is the digest of the whole feed, bytes
// after a fault included: a camera records it for the file it took.
FirmwareImageVerdict Check(const Bytes& image, const std::string& model,
                           const std::vector<std::size_t>& sizes = {},
                           uint64_t maxPayload = kMaxFirmwarePayload) {
    FirmwareImageChecker checker(model, maxPayload);
    std::span<const uint8_t> rest(image);
    for (std::size_t i = 0; !rest.empty(); ++i) {
        const std::size_t size = sizes.empty() ? rest.size() : sizes[i % sizes.size()];
        checker.Feed(rest.first(std::min(size, rest.size())));
        rest = rest.subspan(std::min(size, rest.size()));
    }
    sdk::Sha256 whole;
    whole.Update(image.data(), image.size());
    EXPECT_EQ(checker.FedDigestHex(), whole.Hex()) << image.size() << " bytes";
    return checker.Finish();
}

TEST(FirmwareImage, RoundTripInAnyChunking) {
    const Bytes image = Image(kHeader);
    EXPECT_EQ(image.size(), 8 + 1 + 6 + 1 + 14 + 8 + 10000 + 32u);
    EXPECT_EQ(Image(kHeader, 999), image) << "the filler does not depend on the chunks";
    const std::vector<std::vector<std::size_t>> feeds = {{}, {1}, {7, 13, 4099, 3}, {5000, 2}};
    for (const auto& sizes : feeds) {
        const FirmwareImageVerdict verdict = Check(image, "IPC-X9", sizes);
        EXPECT_EQ(verdict.fault, FirmwareImageFault::kNone)
            << FirmwareImageFaultName(verdict.fault) << " with chunks of " << sizes.size();
        EXPECT_EQ(verdict.modelPattern, "IPC-X*");
        EXPECT_EQ(verdict.version, "V2.1.0 build 7");
        EXPECT_EQ(verdict.payloadSize, 10000u);
    }
    const Bytes empty = Image({"IPC-X9", "0", 0});
    EXPECT_EQ(Check(empty, "IPC-X9", {3}).fault, FirmwareImageFault::kNone);
}

TEST(FirmwareImage, EveryFaultIsNamed) {
    const Bytes good = Image(kHeader);
    const std::size_t versionAt = 8 + 1 + 6 + 1;
    const std::size_t payloadAt = versionAt + 14 + 8;
    auto changed = [&](std::size_t at, uint8_t value) {
        Bytes image = good;
        image[at] = value;
        return image;
    };
    const struct {
        const char* name;
        Bytes image;
        const char* model;
        FirmwareImageFault fault;
    } cases[] = {
        {"first byte", changed(0, 'X'), "IPC-X9", FirmwareImageFault::kBadMagic},
        {"a few wrong bytes", {'C', 'F', 'X'}, "IPC-X9", FirmwareImageFault::kBadMagic},
        {"empty model pattern", changed(8, 0), "IPC-X9", FirmwareImageFault::kBadHeader},
        {"model pattern too long", changed(8, 128), "IPC-X9", FirmwareImageFault::kBadHeader},
        {"version not printable", changed(versionAt, '\n'), "IPC-X9",
         FirmwareImageFault::kBadHeader},
        {"nothing", {}, "IPC-X9", FirmwareImageFault::kTruncated},
        {"half the magic", {'C', 'F', 'L', 'A'}, "IPC-X9", FirmwareImageFault::kTruncated},
        {"last byte missing", Bytes(good.begin(), good.end() - 1), "IPC-X9",
         FirmwareImageFault::kTruncated},
        {"a byte too many",
         [&] {
             Bytes image = good;
             image.push_back(0);
             return image;
         }(),
         "IPC-X9", FirmwareImageFault::kWrongLength},
        {"payload byte changed", changed(payloadAt + 5000, good[payloadAt + 5000] ^ 1), "IPC-X9",
         FirmwareImageFault::kDigestMismatch},
        {"version changed", changed(versionAt, 'W'), "IPC-X9", FirmwareImageFault::kDigestMismatch},
        {"digest changed", changed(good.size() - 1, good.back() ^ 0x80), "IPC-X9",
         FirmwareImageFault::kDigestMismatch},
        {"another model", good, "IPC-Y9", FirmwareImageFault::kModelMismatch},
        {"a model that only starts alike", Image({"IPC-X", "1", 10}), "IPC-X9",
         FirmwareImageFault::kModelMismatch},
    };
    for (const auto& c : cases) {
        const FirmwareImageFault fault = Check(c.image, c.model, {11}).fault;
        EXPECT_EQ(fault, c.fault) << c.name << ": " << FirmwareImageFaultName(fault);
    }
}

TEST(FirmwareImage, AForeignImageIsRefusedBeforeItsPayload) {
    const Bytes header = HeaderOnly(kHeader);
    FirmwareImageChecker checker("IPC-Y9");
    EXPECT_FALSE(checker.Feed(header));
    const FirmwareImageVerdict verdict = checker.Finish();
    EXPECT_EQ(verdict.fault, FirmwareImageFault::kModelMismatch);
    EXPECT_EQ(verdict.version, "V2.1.0 build 7");
}

// The checker keeps no payload, so neither a length above its limit nor one it accepts
// costs memory before the bytes arrive; a length near 2^64 must not wrap either.
TEST(FirmwareImage, AHugeDeclaredLengthIsNeverAllocated) {
    const uint64_t huge = std::numeric_limits<uint64_t>::max();
    const Bytes header = HeaderOnly({"IPC-X9", "1", huge});

    FirmwareImageChecker limited("IPC-X9");
    EXPECT_FALSE(limited.Feed(header));
    EXPECT_EQ(limited.Finish().fault, FirmwareImageFault::kWrongLength);
    EXPECT_EQ(limited.Finish().payloadSize, huge);

    FirmwareImageChecker unlimited("IPC-X9", huge);
    EXPECT_TRUE(unlimited.Feed(header));
    const Bytes payload(1 << 20, 0x5A);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(unlimited.Feed(payload));
    EXPECT_EQ(unlimited.Finish().fault, FirmwareImageFault::kTruncated);

    const Bytes justAbove = Image({"IPC-X9", "1", 101});
    EXPECT_EQ(Check(justAbove, "IPC-X9", {}, 100).fault, FirmwareImageFault::kWrongLength);
    EXPECT_EQ(Check(justAbove, "IPC-X9", {}, 101).fault, FirmwareImageFault::kNone);
}

TEST(FirmwareImage, WriterKeepsToTheDeclaredImage) {
    Bytes out;
    FirmwareImageWriter refused(Collect(&out));
    EXPECT_FALSE(refused.Begin({"", "1", 0}));
    EXPECT_FALSE(refused.Begin({"IPC", std::string(128, 'v'), 0}));
    EXPECT_FALSE(refused.Begin({"IPC\xC3\xA9", "1", 0}));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(IsValidFirmwareHeader({"IPC", std::string(127, 'v'), 0}));

    const Bytes three = {1, 2, 3};
    FirmwareImageWriter tooMuch(Collect(&out));
    ASSERT_TRUE(tooMuch.Begin({"IPC", "1", 4}));
    EXPECT_TRUE(tooMuch.Write(three));
    EXPECT_FALSE(tooMuch.Finish()) << "one byte short";
    EXPECT_FALSE(tooMuch.Write(three)) << "beyond the declared length";

    int calls = 0;
    FirmwareImageWriter failing([&](std::span<const uint8_t>) { return ++calls < 2; });
    ASSERT_TRUE(failing.Begin({"IPC", "1", 6}));
    EXPECT_FALSE(failing.Write(three));
    EXPECT_FALSE(failing.Write(three));
    EXPECT_FALSE(failing.Finish());
    EXPECT_EQ(calls, 2);
}

TEST(FirmwareModelMatches, StarIsTheOnlyWildcardAndOnlyInThePattern) {
    const struct {
        const char* pattern;
        const char* model;
        bool matches;
    } cases[] = {
        {"IPC-X9", "IPC-X9", true},
        {"IPC-X*", "IPC-X9", true},
        {"*X9", "IPC-X9", true},
        {"I*C*9", "IPC-X9", true},
        {"*", "IPC-X9", true},
        {"IPC-X9*", "IPC-X9", true},
        {"IPC-X", "IPC-X9", false},
        {"PC-X9", "IPC-X9", false},
        {"IPC-X*", "IPC-Y9", false},
        {"ipc-x9", "IPC-X9", false},
        {"IPC?X9", "IPC-X9", false},
        {"IPC[-]X9", "IPC-X9", false},
        {"IPC-X9", "IPC-X*", false},
        {"*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
         false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FirmwareModelMatches(c.pattern, c.model), c.matches)
            << c.pattern << " / " << c.model;
}

}  // namespace
}  // namespace camfleet::sim
