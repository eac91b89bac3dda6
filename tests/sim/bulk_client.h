#pragma once
// The client side of the bulk-data channel by hand, for tests of the camera's side: sessions,
// open requests, attaches, chunks and the digest frame, and the frames that come back.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "device/sdk/bulk_protocol.h"
#include "device/sdk/control_frame.h"
#include "device/sdk/control_protocol.h"
#include "tests/sim/raw_client.h"

namespace camfleet::sim {

// Open and attach requests are commands.
inline sdk::Frame Request(uint32_t code, uint32_t sequence, std::string payload) {
    sdk::Frame frame;
    frame.code = code;
    frame.param = sdk::RequestParam(sdk::Access::kCommand);
    frame.sequence = sequence;
    frame.payload = std::move(payload);
    return frame;
}

inline std::string DigestOf(const std::string& bytes) {
    sdk::Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Hex();
}

inline sdk::BulkOpen Upload(const std::string& name, const std::string& bytes,
                            sdk::BulkPurpose purpose = sdk::BulkPurpose::kConfig) {
    return {sdk::BulkDirection::kUpload, purpose, name, bytes.size(), 0};
}

class BulkCameraTest : public LoopbackCameraTest {
protected:
    // A logged-in session of camera `id`.
    std::unique_ptr<Client> Session(int id) {
        auto client = std::make_unique<Client>(server_.Port(id));
        EXPECT_EQ(client->Login(kTestPassword), sdk::kStatusOk);
        return client;
    }
    // The open request's answer on `session`; events that come first are passed over.
    sdk::Frame Open(Client& session, const sdk::BulkOpen& open) {
        sdk::Frame answer;
        EXPECT_TRUE(session.Send(
            sdk::EncodeFrame(Request(sdk::kCodeOpenBulk, ++sequence_, sdk::PrintBulkOpen(open)))));
        while (session.Next(&answer))
            if (answer.kind != sdk::FrameKind::kEvent)
                return answer;
        ADD_FAILURE() << "no answer to the open request";
        return answer;
    }
    std::string Token(Client& session, const sdk::BulkOpen& open) {
        const sdk::Frame answer = Open(session, open);
        sdk::BulkGrant grant;
        EXPECT_EQ(answer.status, sdk::kStatusOk);
        EXPECT_TRUE(sdk::ParseBulkGrant(answer.payload, &grant)) << answer.payload;
        return grant.token;
    }
    // Attaches `connection` (set up, not logged in) with `token`; the answer's status.
    static int Attach(Client& connection, const std::string& token) {
        sdk::Frame answer;
        if (connection.Handshake().empty() ||
            !connection.Send(
                sdk::EncodeFrame(Request(sdk::kCodeAttachBulk, 2, sdk::PrintAttach(token)))) ||
            !connection.Next(&answer))
            return -1;
        return answer.status;
    }
    static sdk::Frame Chunk(uint32_t sequence, bool last, std::string bytes) {
        sdk::Frame frame;
        frame.kind = sdk::FrameKind::kData;
        frame.code = sdk::kBulkUpload;
        frame.sequence = sequence;
        frame.param = last ? sdk::kBulkLastChunk : 0;
        frame.payload = std::move(bytes);
        return frame;
    }
    // The next event on `session`, skipping answers.
    static bool NextEvent(Client& session, sdk::Frame* event) {
        while (session.Next(event))
            if (event->kind == sdk::FrameKind::kEvent)
                return true;
        return false;
    }
    uint32_t sequence_ = 10;
};

}  // namespace camfleet::sim
