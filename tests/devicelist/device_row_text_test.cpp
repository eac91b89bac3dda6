// Column texts of the device list, read with the English strings beside the test program.
#include "devicelist/device_row_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "device/xml_messages.h"

namespace camfleet {
namespace {

class DeviceRowTextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // No stored language: the table is the English one beside the program.
        setenv("CAMFLEET_REGISTRY_FILE", "/nonexistent/camfleet/registry.ini", 1);
    }
};

TEST_F(DeviceRowTextTest, ModelKeepsThePartBetweenThePrefixAndTheVersionSuffix) {
    struct Case {
        const char* name;
        const char* type;
        const char* model;
    } cases[] = {
        {"plain", "NVS-IPC-2M", "NVS-IPC-2M"},
        {"prefix and suffix", "DIR-OVADU-NVS-F37_V2.1", "NVS-F37"},
        {"prefix twice", "DIR-OVADU-DIR-OVADU-NVS", "NVS"},
        {"suffix only", "NVS8M_V3_V4", "NVS8M"},
        {"empty", "", ""},
        {"lower-case v is no suffix", "NVS_v2", "NVS_v2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ModelText(c.type), QString::fromUtf8(c.model));
    }
}

TEST_F(DeviceRowTextTest, RunningTimeShowsOnlyPartsOfOneOrMore) {
    EXPECT_EQ(RunningTimeText(0), QString());
    EXPECT_EQ(RunningTimeText(-5), QString());
    EXPECT_EQ(RunningTimeText(86400 + 3600 + 60 + 1), QStringLiteral("1 d 1 h 1 min 1 s "));
    EXPECT_EQ(RunningTimeText(59), QStringLiteral("59 s "));
    EXPECT_EQ(RunningTimeText(2 * 86400 + 5), QStringLiteral("2 d 5 s "));
}

TEST_F(DeviceRowTextTest, AnswerFillsEveryColumnButPreviewVersionAndState) {
    SearchAnswer a{};
    CopyField(a.serialNumber, "9e81abc");
    CopyField(a.deviceType, "DIR-OVADU-NVS-PTZ_V5");
    CopyField(a.osdText, "Gate 1");
    CopyField(a.network.ipAddress, "192.168.1.10");
    CopyField(a.network.netmask, "255.255.255.0");
    CopyField(a.network.macAddress, "00:1a:2b:00:00:00");
    CopyField(a.adapterAddress, "192.168.1.253");
    CopyField(a.p2pId, "NVSP-1");
    CopyField(a.uuid, "12345");
    a.streamAccess.webPort = 80;
    a.network.allNet = 1;
    a.runningTime = 61;
    a.p2pStatus = 0;

    const QStringList cells = DeviceRowCells(a);
    ASSERT_EQ(cells.size(), kDeviceColumnCount);
    EXPECT_EQ(cells[kColumnIp], "192.168.1.10");
    EXPECT_EQ(cells[kColumnHttpPort], "80");
    EXPECT_EQ(cells[kColumnModel], "NVS-PTZ");
    EXPECT_EQ(cells[kColumnTitle], "Gate 1");
    EXPECT_TRUE(cells[kColumnPreview].isEmpty());
    EXPECT_TRUE(cells[kColumnVersion].isEmpty());
    EXPECT_TRUE(cells[kColumnState].isEmpty());
    EXPECT_EQ(cells[kColumnAllNet], "On");
    EXPECT_EQ(cells[kColumnSerial], "9E81ABC");
    EXPECT_EQ(cells[kColumnRunningTime], "1 min 1 s ");
    EXPECT_EQ(cells[kColumnCloud], "Offline");
    EXPECT_EQ(cells[kColumnUuid], "12345");

    SCOPED_TRACE("absent P2P status leaves the cloud cell empty; all-net 0 reads off");
    a.p2pStatus = -1;
    a.network.allNet = 0;
    const QStringList other = DeviceRowCells(a);
    EXPECT_TRUE(other[kColumnCloud].isEmpty());
    EXPECT_EQ(other[kColumnAllNet], "Off");
}

TEST_F(DeviceRowTextTest, HeadersAreTheTextsOfTheColumnKeys) {
    const QStringList headers = DeviceColumnHeaders();
    ASSERT_EQ(headers.size(), kDeviceColumnCount);
    for (int c = 0; c < kDeviceColumnCount; ++c)
        EXPECT_FALSE(headers[c].isEmpty()) << DeviceColumnKey(c);
    EXPECT_STREQ(DeviceColumnKey(kColumnSerial), "SN");
    EXPECT_STREQ(DeviceColumnKey(99), "");
}

}  // namespace
}  // namespace camfleet
