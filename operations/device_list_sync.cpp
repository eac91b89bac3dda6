#include "operations/device_list_sync.h"

#include <cstring>
#include <memory>
#include <vector>

#include "device/sdk/qv_netsdk_ipc.h"
#include "device/xml_messages.h"
#include "resources/display_strings.h"

namespace camfleet {

void DeviceListSync::SyncDeviceList() {
    if (merging_)
        return;  // asked for from a hook's nested event loop: the running merge goes on
    merging_ = true;
    struct EndOfMerge {
        bool& merging;
        ~EndOfMerge() { merging = false; }
    } endOfMerge{merging_};
    table_->CopyForMerge(&copy_);
    for (TableCopy::Item& item : copy_.items)
        if (!MergeEntry(item))
            return;
}

bool DeviceListSync::MergeEntry(TableCopy::Item& item) {
    SearchAnswer& entry = item.answer;
    const MoveState move = item.move;
    int row = model_->FindRowByKey(entry.serialNumber);
    DeviceRecord* record = model_->Record(row);
    if (record == nullptr) {
        auto fresh = std::make_unique<DeviceRecord>();
        std::memset(fresh.get(), 0, sizeof *fresh);
        CopyField(fresh->key, entry.serialNumber);
        fresh->answer = entry;
        row = model_->AppendRow(std::move(fresh));
        record = model_->Record(row);
        if (!printMode_)
            Login(row, entry);
    } else if (move == MoveState::kAwaiting) {
        // Sent new network settings: the row keeps what it shows until the camera answers
        // with them, and the new login waits until the camera is reachable there.
    } else {
        // The row's cells follow from the working block alone: an unchanged block needs no
        // refill, which keeps a tick cheap for a list that is not changing. A move that was
        // not applied refills all the same: the IP column shows the address that was sent.
        SearchAnswer work = entry;
        if (work.version[0] == '\0')
            CopyField(work.version, record->firmwareVersion);
        if (move == MoveState::kNotApplied ||
            std::memcmp(&work, &record->answer, sizeof work) != 0) {
            model_->FillDeviceRow(row, work);
            if (std::strcmp(work.network.ipAddress, record->answer.network.ipAddress) != 0) {
                if (record->loginHandle != 0)
                    QV_NETSDK_IPC_Logout(record->loginHandle);
                model_->SetLoginHandle(row, 0);
                // The old session is gone; the new one reports its own login.
                Login(row, work);
            }
            record->answer = work;
        }
    }
    if (move != MoveState::kNone && move != MoveState::kAwaiting) {
        if (move == MoveState::kNotApplied)
            model_->SetStateKey(row, kNetworkNotAppliedKey);
        moveOutcomes_[record->key] = move;
        moveHandlers_.Call(row, move);
    }
    const unsigned clears = clears_;
    if (printMode_) {
        if (entry.p2pId[0] == '\0' || record->printDone == 1) {
            table_->SwitchToDhcp(entry.serialNumber);
            entry.network.dhcp = 1;  // as the table holds it now
        } else {
            // Once per camera: the label with its serial number and P2P id, then back to the
            // factory settings for the customer.
            record->printDone = 1;
            if (printCycle)
                printCycle(entry, record);
            if (clears_ != clears)
                return false;
            table_->RestoreDevice(entry.serialNumber);
        }
    }
    if (bootLoaderHook)
        bootLoaderHook(entry);
    return clears_ == clears;
}

MoveState DeviceListSync::MoveOutcome(const char* key) const {
    const auto it = moveOutcomes_.find(key != nullptr ? key : "");
    return it != moveOutcomes_.end() ? it->second : MoveState::kNone;
}

bool DeviceListSync::LogInAgain(int row) {
    DeviceRecord* record = model_->Record(row);
    if (record == nullptr || !loginsEnabled_)
        return false;
    if (record->loginHandle > 0)
        QV_NETSDK_IPC_Logout(record->loginHandle);
    model_->SetLoginHandle(row, 0);
    Login(row, record->answer);
    return true;
}

void DeviceListSync::Login(int row, const SearchAnswer& answer) {
    if (!loginsEnabled_)
        return;
    const int handle = LoginDevice(answer, defaultAccount_);
    model_->SetLoginHandle(row, handle);
    if (handle > 0) {
        model_->SetLoginState(row, LoginState::kConnecting);
    } else {
        model_->SetLoginState(row, LoginState::kRefused);
        model_->SetStateText(row, QString::fromLatin1(kLoginFailedText));
    }
}

void DeviceListSync::ClearDevices() {
    ++clears_;
    table_->ClearDevices();
    model_->Clear();
    moveOutcomes_.clear();
}

void DeviceListSync::RefreshDevices() {
    QV_NETSDK_IPC_LogoutAll();
    ClearDevices();
}

}  // namespace camfleet
