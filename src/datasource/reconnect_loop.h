#pragma once
// The loop shared by the readers of connected transports (TCP, UDP, serial): open, receive
// and parse until the transport ends or fails, close, report a failure, pause, open again,
// until the source's stop is asked. Runs on the source's reader thread.

#include <cstddef>
#include <string>

namespace tg {

class DataSource;
class WakeEvent;

// One connected transport. Failures are thrown as exceptions whose what() is the text shown
// to the user; every wait must end when `wake` is signalled (open then throws: a stop is never
// reported).
class Transport {
public:
    virtual ~Transport() = default;
    virtual void open(const std::string& connect, const WakeEvent& wake) = 0;
    // Up to `size` bytes into `buffer`; 0 when the transport ended or a stop was signalled.
    virtual std::size_t receive(char* buffer, std::size_t size, const WakeEvent& wake) = 0;
    // Releases what open took; called after every open, whether it succeeded or not.
    virtual void close() = 0;
};

// A failure becomes a one-value error record for observers and an event log line, then the
// loop pauses (the source's retry pause, interrupted by a stop); an orderly end of the
// transport reconnects at once.
void runReconnectLoop(DataSource& source, Transport& transport);

// Opens the transport described by `text` and closes it again: true; on failure false, with
// `text` replaced by the reason ("Unknown error." for failures without a text). Any thread.
[[nodiscard]] bool tryTransport(Transport& transport, std::string& text);

}  // namespace tg
