#pragma once
// Where messages meant for the user go: the desktop shows each in a message box with an OK
// button, the daemon writes them to standard error, tests record them.
//
// Any thread may call show(): the event log shows its messages from data source reader
// threads. An implementation that must show them on another thread posts them there.

#include <string_view>

namespace tg {

// The icon beside the text: none for plain notices, the stop sign for errors that ended an
// operation (a server that cannot listen).
enum class MessageIcon { None, Stop };

class UserMessages {
public:
    virtual ~UserMessages() = default;
    // Shows the text as it is, line ends included.
    virtual void show(std::string_view text, MessageIcon icon = MessageIcon::None) = 0;
};

// Writes each message as one line of standard error (trailing line ends dropped).
class StderrMessages final : public UserMessages {
public:
    void show(std::string_view text, MessageIcon icon = MessageIcon::None) override;
};

}  // namespace tg
