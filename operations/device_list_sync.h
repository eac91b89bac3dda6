#pragma once
// The table-to-list merge: carries the device table into the device list every 200 ms while
// a search runs (the caller's timer), logging new cameras in and logging cameras in again
// when their IP address changed. Also the list side of clearing and refreshing.
//
// Thread: the list's (UI) thread. A merge holds the device table lock only while it brings
// its copy of the table up to date (DeviceTable::CopyForMerge: the changed blocks and the
// move states); the list updates, the SDK login and logout calls, the datagrams and the hooks
// run after that without it, so the search thread stores answers meanwhile and a hook may
// call any member of the table.

#include <functional>
#include <map>
#include <string>

#include "devicelist/device_list_model.h"
#include "discovery/device_table.h"
#include "operations/device_login.h"
#include "operations/subscription.h"
#include "resources/display_strings.h"

namespace camfleet {

// State text of a camera that kept its old network settings after it was sent new ones.
inline constexpr const char* kNetworkNotAppliedKey = DisplayKey("NETWORK_NOT_APPLIED");

class DeviceListSync {
public:
    // Both must outlive the merge.
    DeviceListSync(DeviceTable* table, DeviceListModel* model) : table_(table), model_(model) {}

    void SetDefaultAccount(const LoginAccount& account) { defaultAccount_ = account; }
    // Without logins (no SDK) cameras are listed only.
    void SetLoginsEnabled(bool on) { loginsEnabled_ = on; }
    // Print mode (the window's check box): new cameras are not logged in, and every tick
    // runs the print cycle below.
    void SetPrintMode(bool on) { printMode_ = on; }
    bool PrintMode() const { return printMode_; }

    // The hooks run on the merge's thread without the table lock; they may block, call the
    // table and run a nested event loop (a message box). `entry` is the merge's copy of the
    // table entry, valid during the call. A merge asked for while a hook runs (a timer in
    // the nested loop) is skipped; when a hook clears the list, the merge ends after it.
    //
    // Print cycle of a camera with a P2P id that was not printed yet, after its print done
    // was set: the label printing's sounds and label. The merge sends the factory restore
    // after it. `record` is the row's record.
    std::function<void(const SearchAnswer& entry, DeviceRecord* record)> printCycle;
    // Boot-loader hook, for every entry on every tick.
    std::function<void(const SearchAnswer& entry)> bootLoaderHook;

    // One merge tick:
    //  - each table entry in serial order finds the first row with its serial (byte-wise,
    //    case-sensitive) through the model's key index; rows are never reordered here;
    //  - a known row is filled from the entry (an empty answer version takes the firmware
    //    version known from the SDK); when the IP address differs from the row's, the old
    //    session is logged out and a new login made; the entry then replaces the row's answer;
    //  - a row whose camera was sent new network settings waits (no refill, no login) until
    //    the camera answers with them (DeviceTable::CopyForMerge); when the wait runs out
    //    with the camera still answering with its old settings, the row shows its real
    //    answer again and kNetworkNotAppliedKey in the state column; when it runs out
    //    without any answer, the camera is taken as moved and logged in at the new address;
    //  - an unknown serial gets a new row at the end and, unless print mode is on, a login
    //    (a move that ended before the camera was listed counts as its row's move);
    //  - in print mode a camera without a P2P id, or one already printed, is switched to DHCP
    //    by a set-network datagram on every tick; any other gets the print cycle and the
    //    factory-restore datagram (three times) once.
    // A login the SDK does not accept shows kLoginFailedText in the state column.
    void SyncDeviceList();

    // How the last move of the camera `key` ended, as the merge saw it: kNone while none
    // ended since the list was filled, else kMoved, kNotApplied or kUnconfirmed. Kept until
    // the list is cleared or a later move of the camera ends.
    MoveState MoveOutcome(const char* key) const;

    // Called when a move of a listed camera ended (kMoved, kNotApplied or kUnconfirmed),
    // after its row was brought up to date, with the row.
    using MoveHandler = std::function<void(int row, MoveState outcome)>;
    Subscription OnMoveEnded(MoveHandler handler) { return moveHandlers_.Add(std::move(handler)); }

    // Logs the camera of `row` out and in again with the default account (after its pinned
    // key was forgotten, say). False for a row out of range or without logins.
    bool LogInAgain(int row);

    // Empties the table and deletes every row with its record.
    void ClearDevices();
    // Logs every camera out, then ClearDevices.
    void RefreshDevices();

private:
    // Carries one copied entry into the list; false when a hook cleared the list.
    bool MergeEntry(TableCopy::Item& item);
    void Login(int row, const SearchAnswer& answer);

    DeviceTable* table_;
    DeviceListModel* model_;
    LoginAccount defaultAccount_{"admin", "730418"};
    std::map<std::string, MoveState> moveOutcomes_;  // by key
    HandlerList<MoveHandler> moveHandlers_;
    bool printMode_ = false;
    bool loginsEnabled_ = true;
    TableCopy copy_;        // the table as the last merge copied it; read by the hooks
    bool merging_ = false;  // a merge is under way (hooks may run a nested event loop)
    unsigned clears_ = 0;   // ClearDevices calls, so a merge notices a clear by a hook
};

}  // namespace camfleet
