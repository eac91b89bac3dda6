#pragma once
// The answer document a simulated camera sends to a search request, well-formed or
// deliberately hostile.

#include <string>
#include <vector>

#include "sim/camera_profile.h"

namespace camfleet::sim {

// Ways an answer can be broken on purpose, to exercise the tool's checks.
enum class Hostility {
    kNone,
    kOverlongAttributes,  // every text far longer than its field
    kNoLanConfig,
    kNoStreamAccess,
    kNoUserConfig,
    kNoBody,          // no MESSAGE_BODY
    kBothRoots,       // XML_NORVEK document that also holds XML_KESTRAVIN tags
    kWrongMsgCode,    // Msg_code 4
    kNoMsgFlag,       // header without Msg_flag
    kNotCameraType,   // device type "IPC-BULLET-2M"
    kOddOsd,          // OSD of odd length
    kNonHexOsd,       // OSD with characters that are not hex digits
    kInvalidUtf8Osd,  // OSD that decodes to invalid UTF-8
    kOversize,        // datagram longer than 5,120 bytes
    kSilent,          // no answer at all (commands still apply)
};

// Answer (Msg_code 3, root XML_NORVEK) of `profile` with running time `runningTime`.
std::string PrintCameraAnswer(const CameraProfile& profile, int runningTime,
                              Hostility hostility = Hostility::kNone);

// Name of a hostility for command lines ("overlong", "no-lan", ...); Parse returns false
// for an unknown name.
bool ParseHostility(const std::string& name, Hostility* hostility);

// Every hostility with its command-line name and a line of help.
struct HostilityName {
    const char* name;
    Hostility kind;
    const char* help;
};
const std::vector<HostilityName>& HostilityNames();

}  // namespace camfleet::sim
