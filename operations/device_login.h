#pragma once
// Login of a listed camera through the device SDK, as the list merge does it for a new camera
// and after an address change.

#include <string>

#include "discovery/search_answer.h"

namespace camfleet {

class CSaveParam;

// The account used when a camera's answer carries neither a user name nor a password.
struct LoginAccount {
    std::string user;
    std::string password;
};

// The default account of the settings (UTF-8, as the SDK takes texts on this system).
LoginAccount DefaultAccount(const CSaveParam& settings);
// The default account stored in the settings file, for a tool without the window's settings
// object (the CLI): reads the file, writes nothing. The defaults when there is no file.
LoginAccount StoredDefaultAccount();

// Literal state text of a login the SDK did not accept (not a display key).
inline constexpr const char kLoginFailedText[] = "QV_NETSDK_IPC_Login FAILED";

// Logs in at the answer's IP address and PTZPort with the answer's account, or `defaults`
// when both its user name and password are empty. A handle > 0 gets auto-reconnect switched
// on. Returns the handle (<= 0 when the SDK refused the call: the outcome of an accepted one
// arrives later as a status event).
int LoginDevice(const SearchAnswer& answer, const LoginAccount& defaults);

}  // namespace camfleet
