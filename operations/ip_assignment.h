#pragma once
// Network settings of cameras without logging in: the PC's own network block, the free
// address search, the IP dialog's rules and the four operations (edit one device, assign a
// free address, number the ticked devices from a start address, switch to DHCP). Every
// operation ends in the device table's set-network datagram, which reaches a camera by its
// serial number even when its address is outside the PC's subnet.
//
// Addresses are IPv4 in host byte order unless they are texts.
//
// Thread: the list's (UI) thread, except FindFreeAddress, FindAnsweringAddress and
// ConfirmedFree, which only read their arguments and may run on any thread (they block while
// probing, and end early when their stop token is set).

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "devicelist/device_list_model.h"
#include "discovery/device_table.h"
#include "operations/device_list_sync.h"
#include "operations/prompt.h"
#include "operations/session_tracker.h"
#include "platform/icmp_probe.h"
#include "platform/neighbour_table.h"
#include "platform/network_params.h"
#include "resources/display_strings.h"
#include "resources/save_param.h"

namespace camfleet {

inline constexpr const char* kNoFreeAddressKey = DisplayKey("NO_FREE_IP");
inline constexpr const char* kDialogRuleKey = DisplayKey("MSGTIP46");
inline constexpr const char* kNoAdapterKey = DisplayKey("PLEASE_SET_NETARD_IPV4");
inline constexpr const char* kNoDhcpTargetKey = DisplayKey("MSGTIP15");
inline constexpr const char* kErrorCaption = DisplayKey("ERROR");

// The PC network block: IP address, net mask, gateway, DNS 1, DNS 2, each at most 31
// characters. Empty until Fill; cleared at every search start.
class PcNetwork {
public:
    enum Index { kIp = 0, kMask, kGateway, kDns1, kDns2, kCount };

    void Clear() { texts_ = {}; }
    // Reads the system's values when the IP or the gateway text is empty; the defaults
    // (192.168.1.253/255.255.255.0, gateway and DNS 1 192.168.1.1, DNS 2 8.8.8.8) stand in
    // for what cannot be read.
    void Fill(NetworkParamSource& source);
    // Text `index` (0 to 4); anything else logs and gives an empty text.
    std::string GetNetworkParam(int index) const;
    uint32_t Address(int index) const;  // the text as an address, 0 when not one

private:
    void Set(int index, const std::string& text);
    std::array<std::string, kCount> texts_;
};

// Network values as the IP dialog and the CLI hold them.
struct NetworkSettings {
    bool dhcp = false;
    std::string ip, mask, gateway, dns1, dns2;
};

// A mask made of a run of one-bits followed by zero-bits (0 and all ones included).
bool IsContiguousMask(uint32_t mask);
// The values the edit dialog opens with: the device's own, with a mask that is not
// contiguous (or no address) shown as 255.255.255.0, and a gateway outside the IP's subnet
// shown as the subnet's first host.
NetworkSettings EditDialogValues(const NetworkBlock& network);

// The dialog's OK rule: every field is a dotted address, mask AND gateway equals mask AND
// start address, and the start address does not end in 255.
bool DialogValuesAccepted(const NetworkSettings& values);

// The addresses numbering hands out from `start` for `count` devices: consecutive, but
// the network and broadcast addresses of `mask` are passed over (masks of /31 and /32 have
// none). Ends early at 255.255.255.255.
std::vector<uint32_t> NumberedAddresses(uint32_t start, uint32_t mask, int count);
// The next address numbering hands out at or after `address`; nullopt past the last one.
std::optional<uint32_t> NextUsableAddress(uint64_t address, uint32_t mask);

// Addresses the free search never offers.
struct FreeSearchInput {
    uint32_t pc = 0;
    uint32_t gateway = 0;
    std::set<uint32_t> taken;  // device table addresses, assigned addresses, local adapters
};

// What tells whether an address is in use, shared by the window's commands, the IP dialog
// and the threads of their searches. Both are thread-safe.
struct AddressChecks {
    std::shared_ptr<AddressProbe> probe;
    std::shared_ptr<NeighbourTable> neighbours;
};
// The echo probe (logging to the diagnostic log) and the neighbour table of this system.
AddressChecks SystemAddressChecks();

// Quick probes run side by side, this many at a time.
inline constexpr int kProbeWorkers = 64;

// Whether `address`, silent to a quick probe, is free after all: it has no resolved entry
// in the neighbour table, neither before nor after a confirming probe, and that probe gets no
// answer (an error counts as none). Blocks up to about a second and a half for a free
// address; a stop ends it within one of the probe's waits (the result is then meaningless).
bool ConfirmedFree(uint32_t address, AddressProbe& probe, NeighbourTable& neighbours,
                   std::stop_token stop = {});

// The lowest host .2 to .254 of the PC's /24 that is neither skipped nor answering a probe
// (a probe error counts as free) and that ConfirmedFree confirms; nullopt when none is left
// or the search was stopped. Quick probes run `workers` hosts at a time and give the lowest
// silent host; that one alone is confirmed, and when it proves to be in use the search goes
// on above it. The stop token is looked at between probes.
std::optional<uint32_t> FindFreeAddress(const FreeSearchInput& input, AddressProbe& probe,
                                        NeighbourTable& neighbours, std::stop_token stop = {},
                                        int workers = kProbeWorkers);
// An address of `addresses` in use, nullopt when none is (or the check was stopped): the
// first that answers a quick probe, else the first that ConfirmedFree does not confirm.
// Both rounds probe `workers` addresses at a time.
std::optional<uint32_t> FindAnsweringAddress(const std::vector<uint32_t>& addresses,
                                             AddressProbe& probe, NeighbourTable& neighbours,
                                             std::stop_token stop = {},
                                             int workers = kProbeWorkers);

// What the numbering dialog opens with.
struct NumberingStart {
    NetworkSettings values;
    uint32_t networkAddress = 0;  // of the first usable adapter
};

// The network job of one camera, from the send to its re-login at the new address. Its
// phase is the row's job state of OperationKind::kNetwork:
//   kPending  sent; the camera has not answered with the new settings yet
//   kRunning  it answered with them (or its wait ran out without any answer): the merge
//             logged it in again at the new address
//   kDone     logged in at the new address (for DHCP: at another address than before), its
//             follow-up queries ended
//   kFailed   the send failed, the camera kept its old settings ("NETWORK_NOT_APPLIED"), or
//             the login at the new address came to nothing
struct NetworkJob {
    std::string oldIp;
    std::string expectedIp;  // empty for DHCP: any new address
    int result = kTableOk;   // of the send
    JobPhase phase = JobPhase::kPending;
    bool notApplied = false;  // failed because the camera kept its old settings
};

class IpAssignment {
public:
    // All must outlive the object.
    IpAssignment(DeviceTable* table, DeviceListModel* model, PcNetwork* pc,
                 NetworkParamSource* source)
        : table_(table), model_(model), pc_(pc), source_(source) {}
    IpAssignment(const IpAssignment&) = delete;
    IpAssignment& operator=(const IpAssignment&) = delete;

    DeviceTable* Table() const { return table_; }
    void SetNetworkSource(NetworkParamSource* source) { source_ = source; }

    // Follows the jobs through the merge's move outcomes and the tracker's settled logins
    // (without it jobs stay as the send left them). The tracker may be null (no SDK: a move
    // that ended counts as done). Either may go first.
    void Follow(DeviceListSync* sync, SessionTracker* tracker);
    // The job of the camera `key` (null when none was sent since the list was filled).
    const NetworkJob* Job(const std::string& key) const;
    // Every job sent has finished (done or failed).
    bool AllJobsFinished() const;
    // Forgets every job (the list was emptied).
    void ClearJobs() { jobs_.clear(); }

    // Sends `values` to the device of `row` through the device table (set-network datagram).
    // 0 on success: the IP column shows the new address and the next list merge logs the
    // camera out and in again at it. -1 when the row or its device table entry is missing;
    // any failure is logged and leaves the row as it was.
    int SendNetwork(int row, const NetworkSettings& values);

    // What the free search of the device in `row` needs (collected on the list's thread).
    FreeSearchInput CollectFreeSearchInput();
    // Sends the free address found (or shows kNoFreeAddressKey and sends nothing).
    int ApplyFreeAddress(int row, std::optional<uint32_t> address, Prompt& prompt);
    // Both of the above with the search in between (blocks while probing).
    int AssignFreeAddress(int row, AddressProbe& probe, NeighbourTable& neighbours, Prompt& prompt);

    // DHCP for every row (a "0.0.0.0" device also gets 192.168.0.123/24, gateway
    // 192.168.0.1). Returns each row's send result, in the order of `rows`.
    std::vector<int> SwitchToDhcp(const std::vector<int>& rows);

    // The numbering dialog's first values; false after the "PLEASE_SET_NETARD_IPV4" box.
    bool PrepareNumbering(const CSaveParam& settings, Prompt& prompt, NumberingStart* start);
    // Numbers `rows` in order from the dialog's start address (saved as the last start
    // address, when `settings` is given). Only a successful send moves on to the next
    // address. Returns each row's send result, in the order of `rows` (-1 for rows past the
    // last address).
    std::vector<int> NumberDevices(const std::vector<int>& rows, const NetworkSettings& values,
                                   CSaveParam* settings);

private:
    void SetJob(int row, NetworkJob job);
    void Advance(int row);
    void OnMoveEnded(int row, MoveState outcome);

    DeviceTable* table_;
    DeviceListModel* model_;
    PcNetwork* pc_;
    NetworkParamSource* source_;
    std::map<std::string, NetworkJob> jobs_;  // by the row's key
    bool followLogins_ = false;               // a tracker reports the logins
    Subscription moveEnds_;
    Subscription settledLogins_;
};

}  // namespace camfleet
