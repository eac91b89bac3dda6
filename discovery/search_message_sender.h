#pragma once
// The one way to send a discovery datagram. Implemented by the searcher; tests substitute
// a recorder.

namespace camfleet {

class SearchMessageSender {
public:
    virtual ~SearchMessageSender() = default;

    // Prints the request envelope (root XML_KESTRAVIN) with `code`, `flag` and `body`
    // (nullptr: empty body) and broadcasts it on port 3001. Any thread. Returns 0.
    virtual int SendSearchMessage(int code, const char* body, int flag) = 0;
};

}  // namespace camfleet
