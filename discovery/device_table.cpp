#include "discovery/device_table.h"

#include <cstring>

#include "device/xml_messages.h"
#include "platform/network_params.h"
#include "resources/log.h"

namespace camfleet {

namespace {

bool IsUnsetAdapter(const char* address) {
    return address[0] == '\0' || std::strcmp(address, "0.0.0.0") == 0;
}

}  // namespace

void DeviceTable::SetSender(SearchMessageSender* sender) {
    std::lock_guard lock(mutex_);
    sender_ = sender;
}

void DeviceTable::StoreDeviceAnswer(const SearchAnswer& answer, const char* adapter) {
    SearchAnswer block = answer;
    TerminateTextFields(&block);
    const char* arrivedOn = adapter != nullptr ? adapter : "";
    std::lock_guard lock(mutex_);
    if (auto sent = awaitingMove_.find(block.serialNumber); sent != awaitingMove_.end()) {
        const bool moved = sent->second.dhcp ? block.network.dhcp == 1
                                             : sent->second.ip == block.network.ipAddress;
        if (moved) {
            awaitingMove_.erase(sent);
            movedSerials_.insert(block.serialNumber);
        } else if (clock_() - sent->second.sentAt >= moveTimeouts_.grace)
            sent->second.oldAnswerSeen = true;
    }
    auto it = entries_.find(block.serialNumber);
    if (it != entries_.end()) {
        const char* kept = it->second.answer.adapterAddress;
        CopyField(block.adapterAddress, IsUnsetAdapter(kept) ? arrivedOn : kept);
        it->second = {block, nextRevision_++};
        return;
    }
    LogMessage("found new entry, mac=[%s]\n", block.network.macAddress);
    CopyField(block.adapterAddress, arrivedOn);
    entries_.emplace(block.serialNumber, Entry{block, nextRevision_++});
}

// Caller holds mutex_. A null serial is in no table.
DeviceTable::Entries::const_iterator DeviceTable::Find(const char* serial) const {
    return serial != nullptr ? entries_.find(serial) : entries_.end();
}

DeviceTable::Entries::iterator DeviceTable::Find(const char* serial) {
    return serial != nullptr ? entries_.find(serial) : entries_.end();
}

void DeviceTable::ClearDevices() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    ++contents_;
    assigned_.fill(0);
    awaitingMove_.clear();
    movedSerials_.clear();
}

void DeviceTable::SetClock(std::function<Clock::time_point()> clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

void DeviceTable::SetMoveTimeouts(MoveTimeouts timeouts) {
    std::lock_guard lock(mutex_);
    moveTimeouts_ = timeouts;
}

std::size_t DeviceTable::PendingMoveCount() const {
    std::lock_guard lock(mutex_);
    return awaitingMove_.size() + movedSerials_.size();
}

// Caller holds mutex_.
void DeviceTable::RecordAssigned(uint32_t address) {
    if (address == 0)
        return;
    for (uint32_t& slot : assigned_)
        if (slot == address)
            slot = 0;
    for (uint32_t& slot : assigned_)
        if (slot == 0) {
            slot = address;
            return;
        }
}

std::vector<uint32_t> DeviceTable::AssignedAddresses() const {
    std::lock_guard lock(mutex_);
    std::vector<uint32_t> addresses;
    for (uint32_t slot : assigned_)
        if (slot != 0)
            addresses.push_back(slot);
    return addresses;
}

int DeviceTable::GetDeviceAnswer(const char* serial, void* out, std::size_t size) const {
    std::lock_guard lock(mutex_);
    auto it = Find(serial);
    if (it == entries_.end())
        return kTableUnknownSerial;
    if (size < kSearchAnswerSize || out == nullptr)
        return kTableBufferTooSmall;
    std::memcpy(out, &it->second.answer, kSearchAnswerSize);
    return kTableOk;
}

int DeviceTable::SetDeviceNetwork(const char* serial, const void* block, std::size_t size) {
    std::lock_guard lock(mutex_);
    auto it = Find(serial);
    if (it == entries_.end())
        return kTableUnknownSerial;
    if (size < kSearchAnswerSize || block == nullptr)
        return kTableBufferTooSmall;
    SearchAnswer& stored = it->second.answer;
    std::memcpy(&stored, block, kSearchAnswerSize);
    TerminateTextFields(&stored);
    it->second.revision = nextRevision_++;
    uint32_t address = 0;
    if (ParseDottedAddress(stored.network.ipAddress, &address))
        RecordAssigned(address);
    const int result = SendSetNetwork(stored);
    if (result == kTableOk) {
        awaitingMove_[it->first] = {stored.network.ipAddress, stored.network.dhcp == 1, clock_(),
                                    false};
        movedSerials_.erase(it->first);
    }
    return result;
}

int DeviceTable::SwitchToDhcp(const char* serial) {
    std::lock_guard lock(mutex_);
    auto it = Find(serial);
    if (it == entries_.end())
        return kTableUnknownSerial;
    SearchAnswer& stored = it->second.answer;
    if (stored.network.dhcp != 1) {
        stored.network.dhcp = 1;
        it->second.revision = nextRevision_++;
    }
    return SendSetNetwork(stored);
}

// Caller holds mutex_.
MoveState DeviceTable::TakeMoveState(const std::string& serial) {
    if (auto sent = awaitingMove_.find(serial); sent != awaitingMove_.end()) {
        if (clock_() - sent->second.sentAt < moveTimeouts_.wait)
            return MoveState::kAwaiting;
        const MoveState ended =
            sent->second.oldAnswerSeen ? MoveState::kNotApplied : MoveState::kUnconfirmed;
        LogMessage("network settings of %s %s\n", serial.c_str(),
                   ended == MoveState::kNotApplied ? "not applied" : "not confirmed");
        awaitingMove_.erase(sent);
        return ended;
    }
    return movedSerials_.erase(serial) != 0 ? MoveState::kMoved : MoveState::kNone;
}

void DeviceTable::CopyForMerge(TableCopy* copy) {
    std::lock_guard lock(mutex_);
    copy->copied = 0;
    // Entries leave the table only all at once, so within one filling the same number of
    // entries means the same serials in the same order; anything else is copied whole.
    const bool sameEntries = copy->contents == contents_ && copy->items.size() == entries_.size();
    if (!sameEntries) {
        copy->items.resize(entries_.size());
        copy->contents = contents_;
    }
    const bool movesPending = !awaitingMove_.empty() || !movedSerials_.empty();
    auto item = copy->items.begin();
    for (const auto& [serial, entry] : entries_) {
        if (!sameEntries || item->revision != entry.revision) {
            item->answer = entry.answer;
            item->revision = entry.revision;
            ++copy->copied;
        }
        item->move = movesPending ? TakeMoveState(serial) : MoveState::kNone;
        ++item;
    }
}

// Caller holds mutex_.
int DeviceTable::SendSetNetwork(const SearchAnswer& entry) {
    const std::string body = PrintNetworkBody(entry.serialNumber, entry.network);
    return SendCommand(kMsgSetNetwork, body, 0, 1);
}

int DeviceTable::RestoreDevice(const char* serial) {
    return SendSerialCommand(serial, kMsgRestore, 0, 3);
}

int DeviceTable::SetDeviceMode(const char* serial, int value) {
    return SendSerialCommand(serial, kMsgMode, value, 3);
}

int DeviceTable::RebootDevice(const char* serial) {
    return SendSerialCommand(serial, kMsgReboot, 0, 1);
}

std::size_t DeviceTable::Count() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::vector<SearchAnswer> DeviceTable::Snapshot() const {
    std::lock_guard lock(mutex_);
    std::vector<SearchAnswer> copies;
    copies.reserve(entries_.size());
    for (const auto& [serial, entry] : entries_)
        copies.push_back(entry.answer);
    return copies;
}

int DeviceTable::SendSerialCommand(const char* serial, int code, int flag, int times) {
    std::lock_guard lock(mutex_);
    auto it = Find(serial);
    if (it == entries_.end())
        return kTableUnknownSerial;
    return SendCommand(code, PrintSerialElement(it->second.answer.serialNumber), flag, times);
}

// Caller holds mutex_.
int DeviceTable::SendCommand(int code, const std::string& body, int flag, int times) {
    if (body.empty())
        return kTableBodyNotBuilt;
    int result = kTableOk;
    for (int i = 0; i < times && sender_ != nullptr; ++i)
        if (sender_->SendSearchMessage(code, body.c_str(), flag) != 0)
            result = kTableNotSent;
    return result;
}

}  // namespace camfleet
