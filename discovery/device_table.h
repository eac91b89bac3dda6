#pragma once
// The device table: the latest answer block of every discovered camera, keyed by serial
// number (byte string, case-sensitive), plus the commands that reach a camera by serial
// number through discovery datagrams.
//
// Threads: the search thread stores answers; the UI thread (and the CLI) read and send
// commands. `mutex_` (the device table lock) guards `entries_` and is held for the whole of
// every operation, including the hand-over of a command datagram to the sender.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/search_answer.h"
#include "discovery/search_message_sender.h"

namespace camfleet {

// Results of the operations by serial number.
enum DeviceTableResult : int {
    kTableOk = 0,
    kTableUnknownSerial = -1,   // serial not in the table
    kTableBufferTooSmall = -2,  // caller's buffer below kSearchAnswerSize bytes
    kTableBodyNotBuilt = -3,    // datagram body could not be built
};

class DeviceTable {
public:
    // `sender` carries command datagrams; it may be set later and must outlive the table.
    explicit DeviceTable(SearchMessageSender* sender = nullptr) : sender_(sender) {}
    void SetSender(SearchMessageSender* sender);

    // Merges one answer (search thread). A known serial keeps its first non-empty adapter
    // address; a new one takes `adapter` and logs "found new entry, mac=[%s]\n".
    void StoreDeviceAnswer(const SearchAnswer& answer, const char* adapter);
    // Empties the table and the assigned-address table.
    void ClearDevices();

    // Copies the stored block into `out` (`size` bytes available). 0, -1, -2.
    int GetDeviceAnswer(const char* serial, void* out, std::size_t size) const;
    // Copies the caller's block (`size` bytes) over the stored one, then sends the
    // set-network datagram (code 2) from the stored serial and network block. The block's
    // IP address goes into the assigned-address table first. After a send the entry awaits
    // the camera's move (see AwaitingMoveLocked). 0/-3, -1, -2.
    int SetDeviceNetwork(const char* serial, const void* block, std::size_t size);
    // Factory-restore datagram (code 5), three times. 0/-3, -1.
    int RestoreDevice(const char* serial);
    // Mode datagram (code 9, `value` as flag), three times. 0/-3, -1.
    int SetDeviceMode(const char* serial, int value);
    // Reboot datagram (code 7), once. 0/-3, -1.
    int RebootDevice(const char* serial);

    // Calls `visit` for every entry in serial order with the device table lock held for the
    // whole walk (the list merge). `visit` may change the entry and may call
    // SendSetNetworkLocked; any other member of the table would deadlock.
    void VisitEntries(const std::function<void(SearchAnswer& entry)>& visit);
    // Inside VisitEntries only: whether `entry` was sent new network settings by
    // SetDeviceNetwork and the camera has not answered with them yet (an answer at the sent
    // address, or for DHCP an answer with DHCP on). Answers already on their way when the
    // settings were sent do not end the wait.
    bool AwaitingMoveLocked(const SearchAnswer& entry) const;
    // Inside VisitEntries only: the set-network datagram (code 2) built from `entry`'s serial
    // and network block, without copying anything into the table. 0 or -3.
    int SendSetNetworkLocked(const SearchAnswer& entry);

    std::size_t Count() const;
    // The assigned-address table: addresses given out by SetDeviceNetwork since the last
    // ClearDevices, host byte order, in slot order. At most kAssignedSlots; an address is held
    // once (a new send moves it to the first free slot); when every slot is taken a new address
    // is not recorded.
    std::vector<uint32_t> AssignedAddresses() const;
    static constexpr std::size_t kAssignedSlots = 255;
    // Copies of every block in serial order.
    std::vector<SearchAnswer> Snapshot() const;

private:
    // Sends `body` `times` times with `code` and `flag`; -3 when the body is empty.
    int SendCommand(int code, const std::string& body, int flag, int times);
    int SendSerialCommand(const char* serial, int code, int flag, int times);

    using Entries = std::map<std::string, SearchAnswer>;
    Entries::const_iterator Find(const char* serial) const;
    Entries::iterator Find(const char* serial);

    void RecordAssigned(uint32_t address);

    mutable std::mutex mutex_;
    Entries entries_;                                  // guarded by mutex_
    std::array<uint32_t, kAssignedSlots> assigned_{};  // guarded by mutex_; 0 = free slot
    struct SentNetwork {
        std::string ip;
        bool dhcp = false;
    };
    std::map<std::string, SentNetwork> awaitingMove_;  // guarded by mutex_; by serial
    SearchMessageSender* sender_;                      // guarded by mutex_
};

}  // namespace camfleet
