#pragma once
// The fixed documents the tool sends with the device SDK's commands (device/codes.h).
// Reads go out as GetDVRConfig, writes as SetDVRConfig with the document text, system
// commands as SystemControl with a REQUEST_PARAM text. Values printed into attributes are
// attribute-escaped; everything else is byte-exact.

#include <string>

#include "device/codes.h"

namespace camfleet {

// Request text of the controls 1012, 1019 and 1020 (answers are RESPONSE_PARAM documents).
inline constexpr const char kResponseParamRequest[] = "RESPONSE_PARAM";

// 223: the admin account with a new password.
std::string PrintAdminPasswordDocument(const char* password);
// 227: the device language.
std::string PrintLanguageDocument(const char* language);

// Broken-down local time for 1005; fields as printed (year 4 digits, month 1-12, ...).
struct RequestTime {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
};
// 1005: time synchronisation (time zone fixed at "1200").
std::string PrintSyncTimeRequest(const RequestTime& time);
// 1042: alarm output of channel 0 (0 = off, 1 = on).
std::string PrintIoOutputRequest(int output);
// 1043: front-end snapshot of stream 0.
std::string PrintSnapshotRequest();
// 1046: day or night mode.
std::string PrintDayNightRequest(bool night);
// 1094: device factory mode.
std::string PrintFactoryModeRequest(int mode);

}  // namespace camfleet
