#include "operations/ip_assignment.h"

#include <algorithm>
#include <atomic>
#include <limits>

#include "device/xml_messages.h"
#include "operations/worker.h"
#include "resources/log.h"

namespace camfleet {

namespace {

constexpr std::size_t kPcTextSize = 32;

constexpr const char* kDefaultPc[PcNetwork::kCount] = {"192.168.1.253", "255.255.255.0",
                                                       "192.168.1.1", "192.168.1.1", "8.8.8.8"};
constexpr const char* kFallbackMask = "255.255.255.0";
constexpr const char* kDhcpFallbackIp = "192.168.0.123";
constexpr const char* kDhcpFallbackGateway = "192.168.0.1";
constexpr const char* kNumberingDns1 = "202.96.134.133";
constexpr const char* kNumberingDns2 = "8.8.8.8";
constexpr uint32_t kDefaultStartOffset = 160;

uint32_t AddressOf(const std::string& text) {
    uint32_t address = 0;
    return ParseDottedAddress(text, &address) ? address : 0;
}

// Empty, "0.0.0.0" and "255.255.255.255" stand for no value.
bool Unset(const std::string& text) {
    return text.empty() || text == "0.0.0.0" || text == "255.255.255.255";
}

// Runs `probeOne(i)` for i = first .. count-1 on up to `workers` threads, taking indices in
// increasing order and skipping those above the lowest hit found so far, until a stop is
// requested. `probeOne` returns true for a hit. Returns the lowest hit, or count.
template <typename ProbeOne>
std::size_t LowestHit(std::size_t first, std::size_t count, int workers,
                      const std::stop_token& stop, ProbeOne probeOne) {
    std::atomic<std::size_t> lowest{count};
    RunItems(count > first ? count - first : 0, workers, stop, [&](std::size_t k) {
        const std::size_t i = first + k;
        if (i > lowest.load() || !probeOne(i))
            return;
        std::size_t seen = lowest.load();
        while (i < seen && !lowest.compare_exchange_weak(seen, i)) {
        }
    });
    return lowest.load();
}

void CopyText(char* field, std::size_t size, const std::string& text) {
    CopyField(field, size, std::string_view(text));
}

}  // namespace

// ---- PC network block ---------------------------------------------------------------------

void PcNetwork::Set(int index, const std::string& text) {
    texts_[index] = text.substr(0, kPcTextSize - 1);
}

void PcNetwork::Fill(NetworkParamSource& source) {
    if (!texts_[kIp].empty() && !texts_[kGateway].empty())
        return;
    for (int i = 0; i < kCount; ++i)
        Set(i, kDefaultPc[i]);
    std::vector<std::string> dns;
    if (source.ReadDnsServers(&dns)) {
        if (!dns.empty())
            Set(kDns1, dns[0]);
        Set(kDns2, dns.size() > 1 ? dns[1] : std::string());
        LogMessage("DNS1: %s\n", texts_[kDns1].c_str());
        LogMessage("DNS2: %s\n", texts_[kDns2].c_str());
    } else {
        LogMessage("GetNetworkParams failed.\n");
    }
    NetworkAdapterInfo adapter;
    if (!source.ReadOutgoingAdapter(&adapter) || adapter.addresses.empty()) {
        LogMessage("GetAdaptersInfo failed!\n");
        return;
    }
    AdapterAddress chosen = adapter.addresses.front();
    if (!adapter.gateways.empty()) {
        const uint32_t gateway = adapter.gateways.front();
        Set(kGateway, DottedAddress(gateway));
        LogMessage("Gateway: %s\n", texts_[kGateway].c_str());
        for (const AdapterAddress& a : adapter.addresses)
            if ((a.address & a.netmask) == (gateway & a.netmask)) {
                chosen = a;
                break;
            }
    }
    Set(kIp, DottedAddress(chosen.address));
    Set(kMask, DottedAddress(chosen.netmask));
    LogMessage("IPAddress: %s\n", texts_[kIp].c_str());
    LogMessage("NetMask: %s\n", texts_[kMask].c_str());
}

std::string PcNetwork::GetNetworkParam(int index) const {
    if (index < 0 || index >= kCount) {
        LogMessage("GetNetworkParam(): bad index: %d\n", index);
        return {};
    }
    return texts_[index];
}

uint32_t PcNetwork::Address(int index) const {
    return AddressOf(GetNetworkParam(index));
}

// ---- Rules --------------------------------------------------------------------------------

bool IsContiguousMask(uint32_t mask) {
    const uint32_t inverted = ~mask;
    return (inverted & (inverted + 1)) == 0;
}

NetworkSettings EditDialogValues(const NetworkBlock& network) {
    NetworkSettings v;
    v.dhcp = network.dhcp == 1;
    v.ip = network.ipAddress;
    v.mask = network.netmask;
    v.gateway = network.gateway;
    v.dns1 = network.dns1;
    v.dns2 = network.dns2;
    uint32_t mask = 0;
    if (!ParseDottedAddress(v.mask, &mask) || !IsContiguousMask(mask)) {
        v.mask = kFallbackMask;
        mask = AddressOf(kFallbackMask);
    }
    uint32_t ip = 0;
    uint32_t gateway = 0;
    if (ParseDottedAddress(v.ip, &ip) &&
        (!ParseDottedAddress(v.gateway, &gateway) || (gateway & mask) != (ip & mask)))
        v.gateway = DottedAddress((ip & mask) + 1);
    return v;
}

bool DialogValuesAccepted(const NetworkSettings& v) {
    uint32_t start = 0, mask = 0, gateway = 0, dns = 0;
    if (!ParseDottedAddress(v.ip, &start) || !ParseDottedAddress(v.mask, &mask) ||
        !ParseDottedAddress(v.gateway, &gateway))
        return false;
    if ((!v.dns1.empty() && !ParseDottedAddress(v.dns1, &dns)) ||
        (!v.dns2.empty() && !ParseDottedAddress(v.dns2, &dns)))
        return false;
    return (mask & gateway) == (mask & start) && (start & 0xFF) != 255;
}

std::optional<uint32_t> NextUsableAddress(uint64_t address, uint32_t mask) {
    const bool hostBits = IsContiguousMask(mask) ? (~mask) > 1 : true;
    for (; address <= std::numeric_limits<uint32_t>::max(); ++address) {
        const uint32_t a = static_cast<uint32_t>(address);
        if (hostBits && ((a & ~mask) == 0 || (a & ~mask) == ~mask))
            continue;
        return a;
    }
    return std::nullopt;
}

std::vector<uint32_t> NumberedAddresses(uint32_t start, uint32_t mask, int count) {
    std::vector<uint32_t> addresses;
    uint64_t next = start;
    for (int i = 0; i < count; ++i) {
        const std::optional<uint32_t> a = NextUsableAddress(next, mask);
        if (!a)
            break;
        addresses.push_back(*a);
        next = uint64_t{*a} + 1;
    }
    return addresses;
}

AddressChecks SystemAddressChecks() {
    return {std::make_shared<IcmpProbe>(&LogMessage), MakeSystemNeighbourTable()};
}

bool ConfirmedFree(uint32_t address, AddressProbe& probe, NeighbourTable& neighbours,
                   std::stop_token stop) {
    const bool free = neighbours.ResolvedAddresses().count(address) == 0 &&
                      probe.Confirm(address, stop) != kProbeInUse &&
                      neighbours.ResolvedAddresses().count(address) == 0;
    if (!free)
        LogMessage("ip %s is in use: it answered late or has a neighbour entry.\n",
                   DottedAddress(address).c_str());
    return free;
}

std::optional<uint32_t> FindFreeAddress(const FreeSearchInput& input, AddressProbe& probe,
                                        NeighbourTable& neighbours, std::stop_token stop,
                                        int workers) {
    std::vector<uint32_t> candidates;
    for (uint32_t host = 2; host <= 254; ++host) {
        const uint32_t c = (input.pc & 0xFFFFFF00u) | host;
        if (c != input.pc && c != input.gateway && input.taken.count(c) == 0)
            candidates.push_back(c);
    }
    for (std::size_t first = 0; first < candidates.size();) {
        const std::size_t hit =
            LowestHit(first, candidates.size(), workers, stop,
                      [&](std::size_t i) { return probe.Probe(candidates[i]) != kProbeInUse; });
        if (hit == candidates.size() || stop.stop_requested())
            return std::nullopt;
        if (ConfirmedFree(candidates[hit], probe, neighbours, stop) && !stop.stop_requested()) {
            LogMessage("got one ip: %s\n", DottedAddress(candidates[hit]).c_str());
            return candidates[hit];
        }
        first = hit + 1;
    }
    return std::nullopt;
}

std::optional<uint32_t> FindAnsweringAddress(const std::vector<uint32_t>& addresses,
                                             AddressProbe& probe, NeighbourTable& neighbours,
                                             std::stop_token stop, int workers) {
    std::size_t hit = LowestHit(0, addresses.size(), workers, stop, [&](std::size_t i) {
        return probe.Probe(addresses[i]) == kProbeInUse;
    });
    if (hit == addresses.size())
        hit = LowestHit(0, addresses.size(), workers, stop, [&](std::size_t i) {
            return !ConfirmedFree(addresses[i], probe, neighbours, stop);
        });
    if (hit == addresses.size() || stop.stop_requested())
        return std::nullopt;
    return addresses[hit];
}

// ---- Operations ---------------------------------------------------------------------------

int IpAssignment::SendNetwork(int row, const NetworkSettings& v) {
    const DeviceRecord* record = model_->Record(row);
    if (record == nullptr)
        return kTableUnknownSerial;
    // The row keeps its answer until the merge carries the table's new one over, which is
    // what logs the camera out and in again at its new address.
    SearchAnswer block = record->answer;
    NetworkBlock& n = block.network;
    n.dhcp = v.dhcp ? 1 : 0;
    CopyText(n.ipAddress, sizeof n.ipAddress, v.ip);
    CopyText(n.netmask, sizeof n.netmask, v.mask);
    CopyText(n.gateway, sizeof n.gateway, v.gateway);
    CopyText(n.dns1, sizeof n.dns1, v.dns1);
    CopyText(n.dns2, sizeof n.dns2, v.dns2);
    const int result = table_->SetDeviceNetwork(block.serialNumber, &block, sizeof block);
    NetworkJob job{record->answer.network.ipAddress,
                   v.dhcp ? std::string() : std::string(n.ipAddress), result,
                   result == kTableOk ? JobPhase::kPending : JobPhase::kFailed};
    SetJob(row, std::move(job));
    if (result != kTableOk) {
        LogMessage("set IPC %s failed. error = %ld\n", block.serialNumber, long{result});
        return result;
    }
    model_->SetCellText(row, kColumnIp, QString::fromLatin1(n.ipAddress));
    return kTableOk;
}

void IpAssignment::Follow(DeviceListSync* sync, SessionTracker* tracker) {
    moveEnds_ = sync->OnMoveEnded([this](int row, MoveState m) { OnMoveEnded(row, m); });
    followLogins_ = tracker != nullptr;
    if (tracker != nullptr)
        settledLogins_ = tracker->OnLoginSettled([this](int row) { Advance(row); });
}

const NetworkJob* IpAssignment::Job(const std::string& key) const {
    const auto it = jobs_.find(key);
    return it != jobs_.end() ? &it->second : nullptr;
}

bool IpAssignment::AllJobsFinished() const {
    return std::all_of(jobs_.begin(), jobs_.end(), [](const auto& entry) {
        return entry.second.phase == JobPhase::kDone || entry.second.phase == JobPhase::kFailed;
    });
}

void IpAssignment::SetJob(int row, NetworkJob job) {
    const DeviceRecord* record = model_->Record(row);
    if (record == nullptr)
        return;
    const char* key = job.notApplied ? kNetworkNotAppliedKey : nullptr;
    model_->SetJobState(row, OperationKind::kNetwork, JobState{job.phase, -1, key});
    jobs_[record->key] = std::move(job);
}

void IpAssignment::OnMoveEnded(int row, MoveState outcome) {
    const DeviceRecord* record = model_->Record(row);
    if (record == nullptr)
        return;
    const auto it = jobs_.find(record->key);
    if (it == jobs_.end() || it->second.phase != JobPhase::kPending)
        return;  // moved by someone else, or already followed
    NetworkJob job = it->second;
    job.notApplied = outcome == MoveState::kNotApplied;
    job.phase = job.notApplied ? JobPhase::kFailed : JobPhase::kRunning;
    SetJob(row, std::move(job));
    Advance(row);
}

// A running job ends once the camera's login at its new address has come to an end.
void IpAssignment::Advance(int row) {
    const DeviceRecord* record = model_->Record(row);
    const RowState* state = model_->State(row);
    if (record == nullptr)
        return;
    const auto it = jobs_.find(record->key);
    if (it == jobs_.end() || it->second.phase != JobPhase::kRunning)
        return;
    NetworkJob job = it->second;
    const std::string now = record->answer.network.ipAddress;
    const bool there = job.expectedIp.empty() ? now != job.oldIp : now == job.expectedIp;
    if (!followLogins_) {
        job.phase = there ? JobPhase::kDone : JobPhase::kFailed;
    } else {
        if (!state->LoginSettled())
            return;
        job.phase = there && state->LoggedIn() ? JobPhase::kDone : JobPhase::kFailed;
    }
    SetJob(row, std::move(job));
}

FreeSearchInput IpAssignment::CollectFreeSearchInput() {
    pc_->Fill(*source_);
    FreeSearchInput input;
    input.pc = pc_->Address(PcNetwork::kIp);
    input.gateway = pc_->Address(PcNetwork::kGateway);
    for (const SearchAnswer& a : table_->Snapshot())
        if (uint32_t address = AddressOf(a.network.ipAddress); address != 0)
            input.taken.insert(address);
    for (uint32_t address : table_->AssignedAddresses())
        input.taken.insert(address);
    for (const AdapterAddress& a : source_->LocalAddresses())
        input.taken.insert(a.address);
    return input;
}

int IpAssignment::ApplyFreeAddress(int row, std::optional<uint32_t> address, Prompt& prompt) {
    if (!address) {
        prompt.ShowMessage(kNoFreeAddressKey, kErrorCaption, PromptIcon::kError);
        return kTableUnknownSerial;
    }
    NetworkSettings v;
    v.ip = DottedAddress(*address);
    v.mask = pc_->GetNetworkParam(PcNetwork::kMask);
    v.gateway = pc_->GetNetworkParam(PcNetwork::kGateway);
    v.dns1 = pc_->GetNetworkParam(PcNetwork::kDns1);
    v.dns2 = pc_->GetNetworkParam(PcNetwork::kDns2);
    return SendNetwork(row, v);
}

int IpAssignment::AssignFreeAddress(int row, AddressProbe& probe, NeighbourTable& neighbours,
                                    Prompt& prompt) {
    if (model_->Record(row) == nullptr)
        return kTableUnknownSerial;
    return ApplyFreeAddress(row, FindFreeAddress(CollectFreeSearchInput(), probe, neighbours),
                            prompt);
}

std::vector<int> IpAssignment::SwitchToDhcp(const std::vector<int>& rows) {
    std::vector<int> results;
    for (int row : rows) {
        const DeviceRecord* record = model_->Record(row);
        if (record == nullptr) {
            results.push_back(kTableUnknownSerial);
            continue;
        }
        const NetworkBlock& n = record->answer.network;
        NetworkSettings v{true, n.ipAddress, n.netmask, n.gateway, n.dns1, n.dns2};
        if (v.ip == "0.0.0.0") {
            v.ip = kDhcpFallbackIp;
            v.mask = kFallbackMask;
            v.gateway = kDhcpFallbackGateway;
        }
        results.push_back(SendNetwork(row, v));
    }
    return results;
}

bool IpAssignment::PrepareNumbering(const CSaveParam& settings, Prompt& prompt,
                                    NumberingStart* start) {
    std::optional<AdapterAddress> adapter;
    for (const AdapterAddress& a : source_->LocalAddresses())
        if (a.address != 0 && a.address != 0xFFFFFFFFu) {
            adapter = a;
            break;
        }
    if (!adapter) {
        prompt.ShowMessage(kNoAdapterKey, kErrorCaption, PromptIcon::kError);
        return false;
    }
    pc_->Fill(*source_);
    const uint32_t network = adapter->address & adapter->netmask;
    NetworkSettings& v = start->values;
    start->networkAddress = network;
    const std::string saved = settings.firstAssignAddress.toStdString();
    uint32_t savedAddress = 0;
    v.ip = ParseDottedAddress(saved, &savedAddress) && savedAddress != 0
               ? saved
               : DottedAddress(network + kDefaultStartOffset);
    v.mask = pc_->GetNetworkParam(PcNetwork::kMask);
    v.gateway = pc_->GetNetworkParam(PcNetwork::kGateway);
    v.dns1 = pc_->GetNetworkParam(PcNetwork::kDns1);
    v.dns2 = pc_->GetNetworkParam(PcNetwork::kDns2);
    if (Unset(v.gateway))
        v.gateway = DottedAddress(network + 1);
    if (Unset(v.dns1))
        v.dns1 = kNumberingDns1;
    if (Unset(v.dns2))
        v.dns2 = kNumberingDns2;
    v.dhcp = false;
    return true;
}

std::vector<int> IpAssignment::NumberDevices(const std::vector<int>& rows,
                                             const NetworkSettings& values, CSaveParam* settings) {
    if (settings != nullptr) {
        settings->firstAssignAddress = QString::fromStdString(values.ip);
        settings->Save();
    }
    std::vector<int> results(rows.size(), kTableUnknownSerial);
    uint32_t start = 0;
    if (!ParseDottedAddress(values.ip, &start))
        return results;
    const uint32_t mask = AddressOf(values.mask);
    uint64_t current = start;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::optional<uint32_t> address = NextUsableAddress(current, mask);
        if (!address)
            break;
        NetworkSettings v = values;
        v.ip = DottedAddress(*address);
        results[i] = SendNetwork(rows[i], v);
        if (results[i] == kTableOk)
            current = uint64_t{*address} + 1;
    }
    return results;
}

}  // namespace camfleet
