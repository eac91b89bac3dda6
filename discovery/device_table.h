#pragma once
// The device table: the latest answer block of every discovered camera, keyed by serial
// number (byte string, case-sensitive), plus the commands that reach a camera by serial
// number through discovery datagrams.
//
// Threads: the search thread stores answers; the UI thread (and the CLI) read and send
// commands. `mutex_` (the device table lock) guards `entries_` and is held for the whole of
// every operation, including the hand-over of a command datagram to the sender.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
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
    kTableNotSent = -4,         // the searcher could not send the datagram
};

// Where a camera that was sent new network settings stands (see DeviceTable::MoveStateLocked).
enum class MoveState {
    kNone,         // no move under way
    kAwaiting,     // sent; the camera has not answered with the new settings yet
    kMoved,        // the camera answered with the new settings
    kNotApplied,   // the wait ended while the camera kept answering with its old settings
    kUnconfirmed,  // the wait ended without any answer from the camera: take it as moved
};

// How long a move is awaited. A camera that answers with its old settings for the whole
// wait did not take them (the datagram was lost or refused); answers arriving within the
// grace after the send may have left before the camera got the datagram and do not count.
struct MoveTimeouts {
    std::chrono::milliseconds wait{10000};
    std::chrono::milliseconds grace{1000};
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
    // the camera's move (see MoveStateLocked). 0/-3/-4, -1, -2.
    int SetDeviceNetwork(const char* serial, const void* block, std::size_t size);
    // Factory-restore datagram (code 5), three times. 0/-3/-4, -1. (The restore of a listed
    // camera, with its device SDK step, is operations/device_restore.h.)
    int RestoreDevice(const char* serial);
    // Mode datagram (code 9, `value` as flag), three times. 0/-3/-4, -1.
    int SetDeviceMode(const char* serial, int value);
    // Reboot datagram (code 7), once. 0/-3/-4, -1.
    int RebootDevice(const char* serial);

    // The clock of the move waits (steady clock by default) and their lengths. Set before use.
    void SetClock(std::function<std::chrono::steady_clock::time_point()> clock);
    void SetMoveTimeouts(MoveTimeouts timeouts);
    // Moves whose end MoveStateLocked has not returned yet: while this is above 0 the list
    // needs merging (and answers need asking for) even when no search runs.
    std::size_t PendingMoveCount() const;

    // Calls `visit` for every entry in serial order with the device table lock held for the
    // whole walk (the list merge). `visit` may change the entry and may call the members
    // named "Locked"; any other member of the table would deadlock.
    void VisitEntries(const std::function<void(SearchAnswer& entry)>& visit);
    // Inside VisitEntries only: the move of `entry` after SetDeviceNetwork. kAwaiting until
    // an answer carries the sent settings (the sent address, or for DHCP, DHCP on); the next
    // call then returns kMoved (the entry holds that answer). When the wait runs out, the
    // call that sees it returns kNotApplied (old settings kept arriving: the entry holds the
    // camera's real answer) or kUnconfirmed (no answer at all: the entry still holds the
    // sent settings). Each end is returned once, kNone after that. A cleared table forgets
    // every move.
    MoveState MoveStateLocked(const SearchAnswer& entry);
    // Inside VisitEntries only: the set-network datagram (code 2) built from `entry`'s serial
    // and network block, without copying anything into the table. 0, -3 or -4.
    int SendSetNetworkLocked(const SearchAnswer& entry);
    // Inside VisitEntries only: the factory-restore datagram of `entry`, three times. 0/-3/-4.
    int SendRestoreLocked(const SearchAnswer& entry);

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
    using Clock = std::chrono::steady_clock;
    struct SentNetwork {
        std::string ip;
        bool dhcp = false;
        Clock::time_point sentAt;
        bool oldAnswerSeen = false;  // an answer with other settings came after the grace
    };
    std::map<std::string, SentNetwork> awaitingMove_;  // guarded by mutex_; by serial
    std::set<std::string> movedSerials_;               // guarded by mutex_; kMoved not yet returned
    SearchMessageSender* sender_;                      // guarded by mutex_
    std::function<Clock::time_point()> clock_ = [] { return Clock::now(); };  // set before use
    MoveTimeouts moveTimeouts_;                                               // set before use
};

}  // namespace camfleet
