// The channel under the control session and its bulk connections: pinned camera keys, and
// what a listener on the wire gets to see.

#include "bulk_outcome.h"
#include "device/codes.h"
#include "device/sdk/sdk_engine.h"
#include "device/sdk/secure_channel.h"
#include "device/sdk/socket_util.h"
#include "recording_relay.h"
#include "resources/known_cameras.h"
#include "sdk_fixture.h"

namespace camfleet::testing {
namespace {

using SdkSecureChannel = SdkTestWithOwnPins;

TEST_F(SdkSecureChannel, ChangedCameraKeyIsRefusedUntilTrusted) {
    QV_NETSDK_IPC_SetAutoReconnect(0, 0);
    const int camera = AddCamera();
    QV_NETSDK_IPC_Logout(LoggedIn(camera));
    KnownCameras& known = KnownCameras::Shared();
    EXPECT_EQ(known.KeyOf("SN1"), server_.PublicKey(camera));

    server_.SetKeyGeneration(camera, 1);  // a replaced camera with the same serial number
    const int refused = Login(camera);
    ASSERT_GT(refused, 0);
    EXPECT_TRUE(hooks_.WaitEvent(refused, QV_EVENT_KEY_CHANGED));
    EXPECT_EQ(server_.LoginCount(camera), 1);
    EXPECT_NE(known.KeyOf("SN1"), server_.PublicKey(camera));
    QV_NETSDK_IPC_Logout(refused);

    bool wasKnown = false;
    ASSERT_TRUE(known.Trust("SN1", &wasKnown));
    EXPECT_TRUE(wasKnown);
    QV_NETSDK_IPC_Logout(LoggedIn(camera));
    EXPECT_EQ(known.KeyOf("SN1"), server_.PublicKey(camera));
    EXPECT_EQ(server_.LoginCount(camera), 2);
}

TEST_F(SdkSecureChannel, SniffedSessionShowsNoPasswordsOrDocuments) {
    const int camera = AddCamera("FirstSecret-730418");
    RecordingRelay relay(server_.Port(camera));
    const int handle =
        QV_NETSDK_IPC_Login("127.0.0.1", relay.port(), "admin", "FirstSecret-730418", 0);
    ASSERT_GT(handle, 0);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN));
    const std::string account =
        "<UserConfig><Account Username=\"admin\" Password=\"NextSecret-99\" "
        "Group=\"Administrator\" Status=\"Enable\" /></UserConfig>";
    ASSERT_EQ(QV_NETSDK_IPC_SetDVRConfig(handle, kCmdSetAdminPassword, 0, account.c_str(),
                                         static_cast<int>(account.size())),
              QV_OK);
    AnswerRecord answer;
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCmdSetAdminPassword, &answer));
    EXPECT_EQ(answer.status, 0);
    EXPECT_EQ(server_.Password(camera), "NextSecret-99");

    // A file goes up over a bulk connection through the same relay.
    const std::string file = FileBytes(1048576 + 99, "BulkMarker-4711;");
    const std::string path = documents_.filePath("marked.cfg").toStdString();
    ASSERT_TRUE(WriteFile(path, file));
    BulkOutcome outcome;
    uint64_t id = 0;
    ASSERT_EQ(
        sdk::RunningEngine()->StartUpload(handle, {sdk::BulkPurpose::kOemApp, "marked.cfg", path},
                                          outcome.Callbacks(), &id),
        QV_OK);
    ASSERT_EQ(outcome.Wait().status, sdk::BulkStatus::kOk);
    const auto stored = server_.UploadedFile(camera, sdk::BulkPurpose::kOemApp);
    ASSERT_TRUE(stored.has_value());
    EXPECT_TRUE(stored->bytes == file);
    QV_NETSDK_IPC_Logout(handle);

    const std::string wire = relay.Recorded();
    EXPECT_GT(wire.size(), file.size());
    for (const char* secret : {"FirstSecret", "NextSecret", "UserConfig", "LoginResult", "admin",
                               "BulkMarker", "marked.cfg", "Token", "Attach"})
        EXPECT_EQ(wire.find(secret), std::string::npos) << secret;
}

// Two ends of one channel with matching session keys.
struct ChannelPair {
    sdk::ChannelCipher client, camera;
    ChannelPair() {
        sdk::CryptoReady();
        const sdk::EphemeralKey c = sdk::MakeEphemeralKey(), k = sdk::MakeEphemeralKey();
        sdk::SessionKeys ck, kk;
        EXPECT_TRUE(sdk::ClientSessionKeys(c, k.pk.data(), &ck));
        EXPECT_TRUE(sdk::CameraSessionKeys(k, c.pk.data(), &kk));
        EXPECT_TRUE(camera.StartReceiving(kk, client.StartSending(ck)));
        EXPECT_TRUE(client.StartReceiving(ck, camera.StartSending(kk)));
    }
};

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(i * 131 + (i >> 8));
    return s;
}

// Records come out as they went in, whatever the cut: one byte, a record's worth, more than
// one record, and records arriving a byte at a time.
TEST(ChannelRecords, OpenWhatWasSealedInEveryCut) {
    ChannelPair pair;
    for (std::size_t size : {std::size_t{1}, sdk::kMaxRecordPlain - 1, sdk::kMaxRecordPlain,
                             sdk::kMaxRecordPlain + 1, 3 * sdk::kMaxRecordPlain + 7}) {
        const std::string plain = Pattern(size);
        std::string wire;
        pair.client.Seal(plain, &wire);
        if (size >= 16) {
            EXPECT_EQ(wire.find(plain.substr(0, 16)), std::string::npos) << "in clear";
        }
        std::string pending, opened;
        for (char byte : wire) {
            pending += byte;
            ASSERT_TRUE(pair.camera.Open(&pending, &opened)) << size;
        }
        EXPECT_TRUE(pending.empty());
        EXPECT_EQ(opened, plain) << size;
    }
    // The other direction has its own key and numbering.
    std::string wire, opened;
    pair.camera.Seal("answer", &wire);
    ASSERT_TRUE(pair.client.Open(&wire, &opened));
    EXPECT_EQ(opened, "answer");
}

// Any change on the wire fails: a flipped bit anywhere, a record dropped, repeated or swapped
// with the next, a record of the other direction reflected back, a length out of range.
TEST(ChannelRecords, AnyChangeOnTheWireFailsTheRecord) {
    std::string first;
    {
        ChannelPair pair;
        pair.client.Seal("first record", &first);
    }
    const auto opens = [](const std::vector<std::string>& records, bool reflect = false) {
        ChannelPair pair;
        std::string a, b;
        pair.client.Seal("first record", &a);
        pair.client.Seal("second record", &b);
        std::string wire, plain;
        for (const std::string& r : records)
            wire += r == "A" ? a : r == "B" ? b : r;
        if (reflect) {
            std::string back;
            pair.camera.Seal("first record", &back);
            return pair.camera.Open(&back, &plain);
        }
        return pair.camera.Open(&wire, &plain);
    };
    EXPECT_TRUE(opens({"A", "B"}));
    EXPECT_FALSE(opens({"B"}));       // the first dropped
    EXPECT_FALSE(opens({"A", "A"}));  // repeated
    EXPECT_FALSE(opens({"B", "A"}));  // swapped
    EXPECT_FALSE(opens({first}));     // from another connection
    EXPECT_FALSE(opens({}, true));    // reflected back to its sender
    for (std::size_t i = 0; i < first.size(); ++i) {
        ChannelPair pair;
        std::string a, plain;
        pair.client.Seal("first record", &a);
        a[i] = static_cast<char>(a[i] ^ 0x01);
        const bool opened = pair.camera.Open(&a, &plain);
        // A changed length either fails at once or leaves the record waiting for more bytes,
        // never opening it.
        EXPECT_TRUE(!opened || plain.empty()) << "byte " << i;
        EXPECT_TRUE(plain.empty()) << "byte " << i;
    }
    ChannelPair pair;
    std::string plain;
    std::string empty("\0\0\0\x10", 4);  // a tag alone: no plain bytes
    empty += std::string(16, 'x');
    EXPECT_FALSE(pair.camera.Open(&empty, &plain));
    std::string huge("\0\x01\0\x11", 4);  // one byte above the largest record
    EXPECT_FALSE(pair.camera.Open(&huge, &plain));
}

}  // namespace
}  // namespace camfleet::testing
