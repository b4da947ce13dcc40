#pragma once
// The program's messages (server errors, checkpoint failures, start-up failures) in message
// boxes. Messages from other threads (the event log's, from reader threads) are posted to the
// main thread and shown there; no widget is touched elsewhere.

#include "platform/user_messages.h"

namespace tg {

class BoxMessages final : public UserMessages {
public:
    void show(std::string_view text, MessageIcon icon = MessageIcon::None) override;
};

}  // namespace tg
