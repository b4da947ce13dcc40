#include "datasource/reconnect_loop.h"

#include <exception>

#include "datasource/source_feed.h"

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

}  // namespace

void runReconnectLoop(DataSource& dataSource, Transport& transport) {
    SourceFeed source(dataSource);
    char buffer[kReceiveSize + 1];
    while (!source.stopping()) {
        std::string error;
        try {
            Session session(transport);
            transport.open(source.connect());
            while (!source.stopping()) {
                const std::size_t size =
                    transport.receive(buffer, kReceiveSize, source.wakeEvent());
                if (size == 0) break;
                source.parseChunk(std::string_view(buffer, size));
            }
        } catch (const std::exception& e) {
            error = e.what();
            if (error.empty()) error = "Unknown error.";
        } catch (...) {
            error = "Unknown error.";
        }
        if (!error.empty() && !source.stopping()) {
            source.reportError(error);
            source.waitForStop(source.retryPause());
        }
    }
}

}  // namespace tg
