// The camera's side of the bulk-data channel, driven by a hand-made client: tokens, the
// attach, the verdict on an upload, the refusals of the open request and how bulk connections
// count against the camera's limits.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "device/codes.h"
#include "device/sdk/bulk_protocol.h"
#include "device/sdk/control_frame.h"
#include "device/sdk/control_protocol.h"
#include "sim/control_server.h"
#include "tests/sim/bulk_client.h"

namespace camfleet::sim {
namespace {

using std::chrono::milliseconds;

class ControlBulkTest : public BulkCameraTest {
protected:
    void SetUp() override {
        limits_.bulkTokenLife = milliseconds(400);
        limits_.maxBulkPerSession = 8;  // the caps have a test of their own
        limits_.maxBulkPerCamera = 16;
        server_.SetLimits(limits_);
    }
    ControlLimits limits_;
};

TEST_F(ControlBulkTest, TokensAreSingleUseShortLivedAndBoundToTheirSessionAndCamera) {
    const int id = AddCamera();
    const int other = AddCamera();
    server_.Start();
    auto session = Session(id);
    const sdk::BulkOpen open = Upload("a.cfg", "abc");

    const std::string token = Token(*session, open);
    Client first(server_.Port(id));
    EXPECT_EQ(Attach(first, token), sdk::kStatusOk);
    Client again(server_.Port(id));
    EXPECT_EQ(Attach(again, token), sdk::kStatusRefused) << "a token is good once";
    EXPECT_TRUE(again.ClosedByCamera());

    Client elsewhere(server_.Port(other));
    EXPECT_EQ(Attach(elsewhere, Token(*session, open)), sdk::kStatusRefused)
        << "another camera knows nothing of the token";

    const std::string stale = Token(*session, open);
    std::this_thread::sleep_for(limits_.bulkTokenLife + milliseconds(100));
    Client late(server_.Port(id));
    EXPECT_EQ(Attach(late, stale), sdk::kStatusRefused) << "the token expired";

    auto second = Session(id);
    const std::string orphan = Token(*second, open);
    second.reset();  // the session that asked for it is gone
    ASSERT_TRUE(Eventually([&] { return server_.SessionCount(id) == 1; }));
    Client orphaned(server_.Port(id));
    EXPECT_EQ(Attach(orphaned, orphan), sdk::kStatusRefused);

    Client clear(server_.Port(id));
    sdk::Frame hello, answer;
    ASSERT_TRUE(clear.Next(&hello));
    ASSERT_TRUE(clear.Send(sdk::EncodeFrame(
        Request(sdk::kCodeAttachBulk, 1, sdk::PrintAttach(Token(*session, open))))));
    ASSERT_TRUE(clear.Next(&answer));
    EXPECT_EQ(answer.status, sdk::kStatusNotLoggedIn) << "an attach needs the key exchange";
    EXPECT_TRUE(clear.ClosedByCamera());
    EXPECT_EQ(server_.UploadsAccepted(id), 0);
}

TEST_F(ControlBulkTest, UploadIsKeptOnlyWhenWhole) {
    const int id = AddCamera();
    server_.Start();
    auto session = Session(id);
    const std::string bytes = server_.ConfigExport(id);  // a configuration file it takes

    Client bad(server_.Port(id));
    ASSERT_EQ(Attach(bad, Token(*session, Upload("wrong.cfg", bytes))), sdk::kStatusOk);
    // The last chunk comes a byte short of the announced size.
    ASSERT_TRUE(bad.Send(sdk::EncodeFrame(Chunk(0, true, bytes.substr(1)))));
    sdk::Frame end, event;
    ASSERT_TRUE(bad.Next(&end));
    int32_t status = 0;
    EXPECT_EQ(end.code, sdk::kBulkEnd);
    ASSERT_TRUE(sdk::ParseBulkEnd(end.payload, &status));
    EXPECT_EQ(status, sdk::kStatusBadDocument);
    EXPECT_TRUE(bad.ClosedByCamera());
    ASSERT_TRUE(NextEvent(*session, &event));
    EXPECT_EQ(event.code, static_cast<uint32_t>(kEventFileFailed));
    EXPECT_NE(event.payload.find("LocalFileName=\"wrong.cfg\""), std::string::npos);
    EXPECT_FALSE(server_.UploadedFile(id, sdk::BulkPurpose::kConfig).has_value());
    EXPECT_EQ(server_.UploadsFailed(id), 1);

    Client good(server_.Port(id));
    ASSERT_EQ(Attach(good, Token(*session, Upload("right.cfg", bytes))), sdk::kStatusOk);
    ASSERT_TRUE(good.Send(sdk::EncodeFrame(Chunk(0, true, bytes))));
    ASSERT_TRUE(good.Next(&end));
    ASSERT_TRUE(sdk::ParseBulkEnd(end.payload, &status));
    EXPECT_EQ(status, sdk::kStatusOk);
    ASSERT_TRUE(NextEvent(*session, &event));
    EXPECT_EQ(event.code, static_cast<uint32_t>(kEventFileDone));
    EXPECT_EQ(event.payload, "<RESPONSE_PARAM LocalFileName=\"right.cfg\" />");
    const auto stored = server_.UploadedFile(id, sdk::BulkPurpose::kConfig);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->bytes, bytes);
    EXPECT_EQ(stored->digest, DigestOf(bytes));
    EXPECT_EQ(server_.UploadsAccepted(id), 1);
}

TEST_F(ControlBulkTest, ChunksOutOfOrderOrPastTheSizeCloseTheConnection) {
    const int id = AddCamera();
    server_.Start();
    auto session = Session(id);
    const std::string bytes(1000, 'x');
    Client skips(server_.Port(id));
    ASSERT_EQ(Attach(skips, Token(*session, Upload("a.cfg", bytes))), sdk::kStatusOk);
    ASSERT_TRUE(skips.Send(sdk::EncodeFrame(Chunk(1, true, bytes))));
    EXPECT_TRUE(skips.ClosedByCamera());
    sdk::Frame event;
    ASSERT_TRUE(NextEvent(*session, &event));
    EXPECT_EQ(event.code, static_cast<uint32_t>(kEventFileFailed));

    Client longer(server_.Port(id));
    ASSERT_EQ(Attach(longer, Token(*session, Upload("a.cfg", bytes))), sdk::kStatusOk);
    ASSERT_TRUE(longer.Send(sdk::EncodeFrame(Chunk(0, true, bytes + "y"))));
    EXPECT_TRUE(longer.ClosedByCamera());
    ASSERT_TRUE(NextEvent(*session, &event));
    EXPECT_EQ(event.code, static_cast<uint32_t>(kEventFileFailed));

    // The digest frame of protocol 3 (code 7) is a frame outside the rules now.
    Client old(server_.Port(id));
    const std::string two(2 * sdk::kBulkChunk, 'x');
    ASSERT_EQ(Attach(old, Token(*session, Upload("a.cfg", two))), sdk::kStatusOk);
    sdk::Frame digest = Chunk(1, false, std::string(64, 'a'));
    digest.code = 7;
    ASSERT_TRUE(old.Send(sdk::EncodeFrame(Chunk(0, false, two.substr(sdk::kBulkChunk))) +
                         sdk::EncodeFrame(digest)));
    EXPECT_TRUE(old.ClosedByCamera());
    ASSERT_TRUE(NextEvent(*session, &event));
    EXPECT_EQ(event.code, static_cast<uint32_t>(kEventFileFailed));
    EXPECT_TRUE(Eventually([&] { return server_.UploadsFailed(id) == 3; }));
    EXPECT_EQ(server_.UploadsAccepted(id), 0);
}

TEST_F(ControlBulkTest, OpenRequestsOutsideTheRulesAndAboveTheCapsAreRefused) {
    limits_.maxBulkSize = 4096;
    limits_.maxBulkPerSession = 2;
    limits_.maxBulkPerCamera = 3;
    server_.SetLimits(limits_);
    const int id = AddCamera();
    server_.Start();
    auto session = Session(id);

    EXPECT_EQ(Open(*session, Upload("big.bin", std::string(4097, 'b'))).status,
              sdk::kStatusBadDocument);
    sdk::BulkOpen badName = Upload("../etc/passwd", "x");
    EXPECT_EQ(Open(*session, badName).status, sdk::kStatusBadDocument);
    EXPECT_EQ(
        Open(*session, {sdk::BulkDirection::kDownload, sdk::BulkPurpose::kFile, "none.bin", 0, 0})
            .status,
        sdk::kStatusFailed);
    EXPECT_EQ(
        Open(*session, {sdk::BulkDirection::kTalk, sdk::BulkPurpose::kAudio, {}, 0, 1}).status,
        sdk::kStatusUnsupported);

    Token(*session, Upload("1.cfg", "1"));
    Token(*session, Upload("2.cfg", "2"));
    EXPECT_EQ(Open(*session, Upload("3.cfg", "3")).status, sdk::kStatusBusy) << "per session";
    auto second = Session(id);
    Token(*second, Upload("4.cfg", "4"));
    EXPECT_EQ(Open(*second, Upload("5.cfg", "5")).status, sdk::kStatusBusy) << "per camera";
}

TEST_F(ControlBulkTest, AnAttachedConnectionLeavesTheLoginDeadlineAndCaps) {
    limits_.loginDeadline = milliseconds(300);
    limits_.bulkTokenLife = milliseconds(5000);
    server_.SetLimits(limits_);
    const int id = AddCamera();
    server_.Start();
    auto session = Session(id);
    const std::string token = Token(*session, Upload("a.cfg", "abc"));

    Client bulk(server_.Port(id));
    ASSERT_FALSE(bulk.Handshake().empty());
    EXPECT_TRUE(Eventually([&] { return server_.UnauthenticatedCount(id) == 1; }))
        << "set up but not attached: not logged in";
    ASSERT_TRUE(
        bulk.Send(sdk::EncodeFrame(Request(sdk::kCodeAttachBulk, 2, sdk::PrintAttach(token)))));
    sdk::Frame answer;
    ASSERT_TRUE(bulk.Next(&answer));
    EXPECT_EQ(answer.status, sdk::kStatusOk);
    EXPECT_EQ(server_.UnauthenticatedCount(id), 0);
    std::this_thread::sleep_for(limits_.loginDeadline * 2);
    EXPECT_EQ(server_.BulkConnections(id), 1) << "the login deadline does not close it";

    session.reset();  // the session's end takes its bulk connection along
    EXPECT_TRUE(bulk.ClosedByCamera());
    EXPECT_TRUE(Eventually([&] { return server_.UploadsFailed(id) == 1; }));
}

}  // namespace
}  // namespace camfleet::sim
