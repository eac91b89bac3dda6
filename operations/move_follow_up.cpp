#include "operations/move_follow_up.h"

#include "device/xml_messages.h"

namespace camfleet {

bool MoveFollowUp::Tick() {
    if (searcher_.IsRunning() && !searcher_.IsListening())
        return false;  // a search runs: its own timers merge and ask
    if (table_.PendingMoveCount() == 0) {
        if (!searcher_.IsListening())
            return false;
        // The last move ended with the previous merge: nothing more to ask for.
        searcher_.StopSearchThread();
        ticks_ = 0;
        return false;
    }
    if (!searcher_.IsListening()) {
        searcher_.StartListening();
        ticks_ = 0;
    }
    if (ticks_++ % kRequestEveryTicks == 0)
        searcher_.SendSearchMessage(kMsgSearch, nullptr, 0);
    return true;
}

}  // namespace camfleet
