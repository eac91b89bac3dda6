#pragma once
// The table-to-list merge: carries the device table into the device list every 200 ms while
// a search runs (the caller's timer), logging new cameras in and logging cameras in again
// when their IP address changed. Also the list side of clearing and refreshing.
//
// Thread: the list's (UI) thread. The merge holds the device table lock for the whole walk,
// including the SDK login and logout calls (which never wait on the network) and the
// print-mode hooks, so an answer arriving meanwhile waits on the search thread.

#include <functional>
#include <map>
#include <string>

#include "devicelist/device_list_model.h"
#include "discovery/device_table.h"
#include "operations/device_login.h"
#include "resources/display_strings.h"

namespace camfleet {

// State text of a camera that kept its old network settings after it was sent new ones.
inline constexpr const char* kNetworkNotAppliedKey = DisplayKey("NETWORK_NOT_APPLIED");

class DeviceListSync {
public:
    // Both must outlive the merge.
    DeviceListSync(DeviceTable* table, DeviceListModel* model) : table_(table), model_(model) {}

    void SetDefaultAccount(const LoginAccount& account) { defaultAccount_ = account; }
    // Print mode (the window's check box): new cameras are not logged in, and every tick
    // runs the print cycle below.
    void SetPrintMode(bool on) { printMode_ = on; }
    bool PrintMode() const { return printMode_; }

    // Print cycle of a camera with a P2P id that was not printed yet, after its print done
    // was set: the label printing's sounds and label. The merge sends the factory restore
    // after it. Runs with the table lock held; it must not call the table (send through a
    // locked entry point instead).
    std::function<void(const SearchAnswer& entry, DeviceRecord* record)> printCycle;
    // Boot-loader hook, for every entry on every tick (same lock rule).
    std::function<void(const SearchAnswer& entry)> bootLoaderHook;

    // One merge tick:
    //  - each table entry in serial order finds the first row with its serial (byte-wise,
    //    case-sensitive) through the model's key index; rows are never reordered here;
    //  - a known row is filled from the entry (an empty answer version takes the firmware
    //    version known from the SDK); when the IP address differs from the row's, the old
    //    session is logged out and a new login made; the entry then replaces the row's answer;
    //  - a row whose camera was sent new network settings waits (no refill, no login) until
    //    the camera answers with them (DeviceTable::MoveStateLocked); when the wait runs out
    //    with the camera still answering with its old settings, the row shows its real
    //    answer again and kNetworkNotAppliedKey in the state column; when it runs out
    //    without any answer, the camera is taken as moved and logged in at the new address;
    //  - an unknown serial gets a new row at the end and, unless print mode is on, a login;
    //  - in print mode a camera without a P2P id, or one already printed, is switched to DHCP
    //    by a set-network datagram on every tick; any other gets the print cycle and the
    //    factory-restore datagram (three times) once.
    // A login the SDK does not accept shows kLoginFailedText in the state column.
    void SyncDeviceList();

    // How the last move of the camera `key` ended, as the merge saw it: kNone while none
    // ended since the list was filled, else kMoved, kNotApplied or kUnconfirmed. Kept until
    // the list is cleared or a later move of the camera ends.
    MoveState MoveOutcome(const char* key) const;

    // Empties the table and deletes every row with its record.
    void ClearDevices();
    // Logs every camera out, then ClearDevices.
    void RefreshDevices();

private:
    void MergeEntry(SearchAnswer& entry);
    void Login(int row, const SearchAnswer& answer);

    DeviceTable* table_;
    DeviceListModel* model_;
    LoginAccount defaultAccount_{"admin", "730418"};
    std::map<std::string, MoveState> moveOutcomes_;  // by key
    bool printMode_ = false;
};

// Whether the login of `row` has come to an end: logged in with the version column filled (the
// version, or the text of a failed version query), or not logged in with a state text (a
// refused or failed login). False while the SDK is still connecting.
bool LoginSettled(const DeviceListModel& model, int row);
// At least `expected` rows, each LoginSettled.
bool AllLoginsSettled(const DeviceListModel& model, int expected);

}  // namespace camfleet
