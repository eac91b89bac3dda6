#pragma once
// Turns one untrusted discovery answer into an answer block. Pure: no sockets, no table.
// Every text is cut to its field; nothing is written to the block's adapter address.

#include <cstddef>
#include <string>
#include <string_view>

#include "discovery/search_answer.h"

namespace camfleet {

// Identity of an answer: IPC_SERIALNUMBER and DEVICE_TYPE of the message body.
struct SearchIdentity {
    std::string serialNumber, platformId, version, p2pId, uuid;
    std::string deviceType;  // the last DEVICE_TYPE element wins
    std::string osdHex;      // OSD attribute as sent (hex of UTF-8)
    int runningTime = 0;     // 0 when absent
    int p2pStatus = -1;      // -1 when absent
};

// Why an answer was kept or dropped; each drop is logged with its own text.
enum class AnswerVerdict {
    kAccepted,
    kNoText,     // null text or negative length
    kNoRoot,     // neither root, or the root/body element is missing
    kNotCamera,  // device type holds none of NVS, DVS, DEC, NVR
    kNoLan,
    kNoStream,
    kNoUser,
};

// Reads the identity of `text` (`length` bytes, need not be zero-terminated). False when
// no root or no MESSAGE_BODY is found (logged).
bool ParseSearchIdentity(const char* text, std::size_t length, SearchIdentity* identity);

// Builds `answer` from `text`. On any verdict but kAccepted the block is unspecified and
// must be dropped.
AnswerVerdict BuildSearchAnswer(const char* text, long length, SearchAnswer* answer);

// True when `text` is a discovery answer: its header parses, Msg_type and Msg_flag are not
// empty and Msg_code converts to 3.
// Anything else (own broadcasts, requests, answers of other tools) is not.
bool IsSearchAnswerMessage(std::string_view text);

// Hex-decodes the OSD attribute and converts the UTF-8 result to the OEM code page.
// Empty when the bytes are not valid UTF-8 (logged).
std::string DecodeOsdText(const std::string& hex);

// True when `type` contains "NVS", "DVS", "DEC" or "NVR" (case-sensitive).
bool IsCameraType(const char* type);

}  // namespace camfleet
