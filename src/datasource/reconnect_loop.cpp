#include "datasource/reconnect_loop.h"

#include <exception>

#include "datasource/source_feed.h"
#include "platform/wake_event.h"

namespace tg {
namespace {

// What the readers hand to parseChunk at a time.
constexpr std::size_t kReceiveSize = 8191;

// Closes the transport however a session ends.
class Session {
public:
    explicit Session(Transport& transport) : m_transport(transport) {}
    ~Session() { m_transport.close(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

private:
    Transport& m_transport;
};

// The text of the failure being handled; "Unknown error." when it has none.
std::string failureText() {
    try {
        throw;
    } catch (const std::exception& e) {
        if (*e.what() != '\0') return e.what();
    } catch (...) {
    }
    return "Unknown error.";
}

}  // namespace

void runReconnectLoop(DataSource& dataSource, Transport& transport) {
    SourceFeed source(dataSource);
    char buffer[kReceiveSize + 1];
    while (!source.stopping()) {
        std::string error;
        try {
            Session session(transport);
            transport.open(source.connect(), source.wakeEvent());
            while (!source.stopping()) {
                const std::size_t size =
                    transport.receive(buffer, kReceiveSize, source.wakeEvent());
                if (size == 0) break;
                source.parseChunk(std::string_view(buffer, size));
            }
        } catch (...) {
            error = failureText();
        }
        if (!error.empty() && !source.stopping()) {
            source.reportError(error);
            source.waitForStop(source.retryPause());
        }
    }
}

bool tryTransport(Transport& transport, std::string& text) {
    try {
        const WakeEvent never;  // nobody stops a try: the transport's own limits end it
        Session session(transport);
        transport.open(text, never);
        return true;
    } catch (...) {
        text = failureText();
        return false;
    }
}

}  // namespace tg
