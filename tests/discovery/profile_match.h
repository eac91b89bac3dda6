#pragma once
// Checks that an answer block carries what a simulated camera reported.

#include <gtest/gtest.h>

#include "discovery/search_answer.h"
#include "sim/camera_profile.h"

namespace camfleet {

inline void ExpectAnswerMatchesProfile(const SearchAnswer& a, const sim::CameraProfile& p) {
    EXPECT_STREQ(a.serialNumber, p.serialNumber.c_str());
    EXPECT_STREQ(a.platformId, p.platformId.c_str());
    EXPECT_STREQ(a.p2pId, p.p2pId.c_str());
    EXPECT_STREQ(a.deviceType, p.model.c_str());
    EXPECT_STREQ(a.version, p.version.c_str());
    EXPECT_STREQ(a.uuid, p.uuid.c_str());
    EXPECT_STREQ(a.osdText, p.osdText.c_str());
    EXPECT_EQ(a.p2pStatus, p.p2pStatus);
    EXPECT_STREQ(a.network.ipAddress, p.ipAddress.c_str());
    EXPECT_STREQ(a.network.macAddress, p.macAddress.c_str());
    EXPECT_STREQ(a.network.netmask, p.netmask.c_str());
    EXPECT_EQ(a.streamAccess.ptzPort, p.ptzPort);
    EXPECT_EQ(a.streamAccess.videoPort, p.videoPort);
    EXPECT_EQ(a.streamAccess.webPort, p.webPort);
    EXPECT_EQ(a.account.found, 1);
    EXPECT_STREQ(a.account.username, p.username.c_str());
    EXPECT_STREQ(a.account.password, p.password.c_str());
}

}  // namespace camfleet
