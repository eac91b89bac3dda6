#pragma once
// A SearchMessageSender that records what it was asked to send.

#include <string>
#include <vector>

#include "discovery/search_message_sender.h"

namespace camfleet {

class RecordingSender : public SearchMessageSender {
public:
    struct Message {
        int code;
        std::string body;
        int flag;
    };
    int SendSearchMessage(int code, const char* body, int flag) override {
        messages.push_back({code, body != nullptr ? body : "", flag});
        return 0;
    }
    std::vector<Message> messages;
};

}  // namespace camfleet
