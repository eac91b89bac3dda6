#pragma once
// The client side of the bulk-data channel by hand, for tests of the camera's side: sessions,
// open requests, attaches, chunks, and the end frames and events that come back.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// The end frame's status and size.
struct End {
    int32_t status = -1;
    uint64_t size = 0;
};

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
    // Sends the first `chunks` chunks of `bytes` (all of them by default).
    static void Send(Client& bulk, const std::string& bytes, uint32_t chunks = UINT32_MAX) {
        const uint32_t count = static_cast<uint32_t>(sdk::ChunkCount(bytes.size()));
        for (uint32_t i = 0; i < count && i < chunks; ++i) {
            const std::size_t at = static_cast<std::size_t>(i) * sdk::kBulkChunk;
            if (!bulk.Send(
                    sdk::EncodeFrame(Chunk(i, i + 1 == count, bytes.substr(at, sdk::kBulkChunk)))))
                return;  // the camera may have ended the transfer
        }
    }
    // The end frame, skipping acknowledgements.
    static End EndOf(Client& bulk) {
        sdk::Frame frame;
        End end;
        while (bulk.Next(&frame)) {
            if (frame.code != sdk::kBulkEnd)
                continue;
            EXPECT_TRUE(sdk::ParseBulkEnd(frame.payload, &end.status)) << frame.payload;
            const auto at = frame.payload.find("Size=\"");
            if (at != std::string::npos)
                end.size = std::stoull(frame.payload.substr(at + 6));
            return end;
        }
        return end;
    }
    // The events that reached `session` until a keep-alive's answer came back: what the
    // camera had sent by then.
    std::vector<sdk::Frame> EventsSoFar(Client& session) {
        std::vector<sdk::Frame> events;
        EXPECT_TRUE(session.Send(sdk::EncodeFrame(Request(sdk::kCodeKeepAlive, ++sequence_, {}))));
        sdk::Frame frame;
        while (session.Next(&frame)) {
            if (frame.kind == sdk::FrameKind::kAnswer && frame.code == sdk::kCodeKeepAlive)
                return events;
            if (frame.kind == sdk::FrameKind::kEvent)
                events.push_back(frame);
        }
        ADD_FAILURE() << "the session closed";
        return events;
    }
    // The events of `session` up to and including one of `type`.
    static std::vector<sdk::Frame> EventsUntil(Client& session, int type) {
        std::vector<sdk::Frame> events;
        sdk::Frame event;
        while (NextEvent(session, &event)) {
            events.push_back(event);
            if (event.code == static_cast<uint32_t>(type))
                return events;
        }
        ADD_FAILURE() << "no event " << type;
        return events;
    }
    uint32_t sequence_ = 10;
};

}  // namespace camfleet::sim
