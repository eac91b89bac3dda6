#pragma once
// Follows cameras that were sent new network settings while no search runs. The window's
// search stops by itself after a few seconds, and a camera sent new settings is logged in at
// its new address only once it answers with them (or its wait runs out, see
// DeviceTable::CopyForMerge): someone has to ask for that answer and merge it. While a
// move is pending, the follow-up keeps the search thread listening (without emptying the
// table), sends a search request every kRequestEveryTicks ticks and has the owner merge the
// list on every tick; once the last move ended and was merged, the thread stops again.
//
// Thread: the owner's (UI) thread. The searcher and the table outlive the object.

#include "discovery/device_searcher.h"
#include "discovery/device_table.h"

namespace camfleet {

class MoveFollowUp {
public:
    MoveFollowUp(DeviceSearcher& searcher, DeviceTable& table)
        : searcher_(searcher), table_(table) {}

    // Ticks come every 200 ms (the merge period); a request goes out every 5th tick (1 s).
    static constexpr int kRequestEveryTicks = 5;

    // One tick while no search of the operator runs. True when the owner must merge the
    // list now (a move is pending, or the last one has just ended).
    bool Tick();
    // Whether the search thread runs for the follow-up.
    bool Following() const { return searcher_.IsListening(); }

private:
    DeviceSearcher& searcher_;
    DeviceTable& table_;
    int ticks_ = 0;
};

}  // namespace camfleet
