#include "operations/device_login.h"

#include <cstring>

#include "device/sdk/qv_netsdk_ipc.h"
#include "resources/save_param.h"

namespace camfleet {

LoginAccount DefaultAccount(const CSaveParam& settings) {
    return {settings.defaultUser.toStdString(), settings.defaultPassword.toStdString()};
}

LoginAccount StoredDefaultAccount() {
    CSaveParam settings;
    settings.Load();
    return DefaultAccount(settings);
}

int LoginDevice(const SearchAnswer& answer, const LoginAccount& defaults) {
    const AccountRecord& account = answer.account;
    const bool own = account.username[0] != '\0' || account.password[0] != '\0';
    // The answer's fields are zero-terminated by the parser; cut them here all the same.
    const std::string user =
        own ? std::string(account.username, strnlen(account.username, sizeof account.username))
            : defaults.user;
    const std::string password =
        own ? std::string(account.password, strnlen(account.password, sizeof account.password))
            : defaults.password;
    const std::string ip(answer.network.ipAddress,
                         strnlen(answer.network.ipAddress, sizeof answer.network.ipAddress));
    const int handle = QV_NETSDK_IPC_Login(ip.c_str(), answer.streamAccess.ptzPort, user.c_str(),
                                           password.c_str(), 0);
    if (handle > 0)
        QV_NETSDK_IPC_SetAutoReconnect(handle, 1);
    return handle;
}

}  // namespace camfleet
