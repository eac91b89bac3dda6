#pragma once
// The device table: the latest answer block of every discovered camera, keyed by serial
// number (byte string, case-sensitive), plus the commands that reach a camera by serial
// number through discovery datagrams.
//
// Threads: the search thread stores answers; the UI thread (and the CLI) read and send
// commands. `mutex_` (the device table lock) guards the entries, the assigned-address table
// and the move waits; it is held for the whole of every operation, including the hand-over
// of a command datagram to the sender and the reading of the clock (SetClock), and for
// nothing else: no other code of the caller runs under it, so any member may be called from
// any thread at any time (the list merge's hooks included).

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

// Where a camera that was sent new network settings stands (see DeviceTable::CopyForMerge).
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

// The list merge's copy of the device table (DeviceTable::CopyForMerge). Its owner keeps it
// from one merge to the next, so that an entry that did not change is not copied again, and
// uses one copy with one table only.
struct TableCopy {
    struct Item {
        SearchAnswer answer;
        uint64_t revision = 0;              // of the stored block `answer` was copied from
        MoveState move = MoveState::kNone;  // as the last CopyForMerge took it
    };
    std::vector<Item> items;  // every entry, in serial order
    uint64_t contents = 0;    // which filling of the table (between two clears) the items show
    std::size_t copied = 0;   // blocks the last CopyForMerge copied
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
    // the camera's move (see CopyForMerge). 0/-3/-4, -1, -2.
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
    // Moves whose end CopyForMerge has not returned yet: while this is above 0 the list
    // needs merging (and answers need asking for) even when no search runs.
    std::size_t PendingMoveCount() const;

    // Brings `copy` up to date with the table for one list merge: the entries in serial order,
    // where only an entry whose block changed since the last call with the same `copy` is
    // copied again (a cleared table is copied whole), and every entry's move state, taken
    // here and returned once:
    //  - kAwaiting after SetDeviceNetwork until an answer carries the sent settings (the sent
    //    address, or for DHCP, DHCP on); the next call then gives kMoved (the entry holds that
    //    answer);
    //  - when the wait runs out, the call that sees it gives kNotApplied (old settings kept
    //    arriving: the entry holds the camera's real answer) or kUnconfirmed (no answer at
    //    all: the entry still holds the sent settings);
    //  - kNone otherwise. A cleared table forgets every move.
    // Blocks and move states come from one hold of the lock, so they always agree. `copy` is
    // the caller's alone and is read without the lock afterwards.
    void CopyForMerge(TableCopy* copy);
    // Print mode: sets the stored entry's DHCP flag, then sends the set-network datagram
    // (code 2) built from its serial and network block. Unlike SetDeviceNetwork, nothing goes
    // into the assigned-address table and no move is awaited. 0/-3/-4, -1.
    int SwitchToDhcp(const char* serial);

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
    struct Entry {
        SearchAnswer answer;
        uint64_t revision = 0;  // a new value from nextRevision_ on every change of `answer`
    };
    // These three: caller holds mutex_.
    MoveState TakeMoveState(const std::string& serial);
    int SendSetNetwork(const SearchAnswer& entry);
    // Sends `body` `times` times with `code` and `flag`; -3 when the body is empty.
    int SendCommand(int code, const std::string& body, int flag, int times);
    int SendSerialCommand(const char* serial, int code, int flag, int times);

    using Entries = std::map<std::string, Entry>;
    Entries::const_iterator Find(const char* serial) const;
    Entries::iterator Find(const char* serial);

    void RecordAssigned(uint32_t address);

    mutable std::mutex mutex_;
    Entries entries_;                                  // guarded by mutex_
    uint64_t nextRevision_ = 1;                        // guarded by mutex_
    uint64_t contents_ = 1;                            // guarded by mutex_; new on every clear
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
