#include "datasource/reconnect_loop.h"

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>
#include <thread>

#include "datasource/data_source.h"
#include "datasource/source_feed.h"
#include "support/recording_listener.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

// Plays a script of sessions: each either fails to open with a text, or delivers its chunks
// and then ends in order. After the script it waits for the stop like a quiet connection.
class ScriptedTransport : public Transport {
public:
    struct Session {
        std::string openError;  // "?" throws something that is not an exception
        std::deque<std::string> chunks;
    };
    explicit ScriptedTransport(std::deque<Session> script) : m_script(std::move(script)) {}

    void open(const std::string& connect, const WakeEvent&) override {
        m_connects.push_back(connect);
        m_current = m_script.empty() ? Session{} : m_script.front();
        m_quiet = m_script.empty();
        if (!m_script.empty()) m_script.pop_front();
        if (m_current.openError == "?") throw 42;
        if (!m_current.openError.empty()) throw std::runtime_error(m_current.openError);
    }
    std::size_t receive(char* buffer, std::size_t size, const WakeEvent& wake) override {
        if (m_quiet) {
            wake.waitFor(std::chrono::hours(1));
            return 0;
        }
        if (m_current.chunks.empty()) return 0;
        const std::string chunk = m_current.chunks.front().substr(0, size);
        m_current.chunks.pop_front();
        chunk.copy(buffer, chunk.size());
        return chunk.size();
    }
    void close() override { ++closes; }

    int closes = 0;
    std::vector<std::string> m_connects;

private:
    std::deque<Session> m_script;
    Session m_current;
    bool m_quiet = false;
};

TEST(ReconnectLoop, ReportsFailuresRetriesAndReconnectsAfterAnOrderlyEnd) {
    test::TempDir dir;
    ConfigStore store(dir.path() / "store.db");
    test::RecordingSink sink;
    DataSource source("net", store, sink);  // no transport of its own: attach starts nothing
    source.setRegexp("([a-z]+)");
    source.setFields({"word"});
    source.setConnect("TCP:localhost:9");
    source.setRetryPause(std::chrono::milliseconds(1));
    test::RecordingListener listener;
    source.attach(listener);

    ScriptedTransport transport({{"connection refused", {}},
                                 {"?", {}},
                                 {"", {"abc\nde", "f\n"}},  // ends in order: no report
                                 {"", {"ghi\n"}}});
    std::thread reader([&] { runReconnectLoop(source, transport); });
    ASSERT_TRUE(listener.waitForProcessed(3));
    SourceFeed(source).requestStop();  // the quiet fifth session waits until now
    reader.join();

    EXPECT_EQ(listener.processed(), (std::vector<Record>{{"abc"}, {"def"}, {"ghi"}}));
    const auto observed = listener.observed();
    ASSERT_GE(observed.size(), 2u);
    EXPECT_EQ(observed[0], (Record{"connection refused"}));
    EXPECT_EQ(observed[1], (Record{"Unknown error."}));
    EXPECT_EQ(sink.lines(),
              (std::vector<std::string>{"net|connection refused", "net|Unknown error."}));
    EXPECT_EQ(transport.closes, static_cast<int>(transport.m_connects.size()));
    EXPECT_EQ(transport.m_connects.front(), "TCP:localhost:9");
    source.detach(listener);
}

}  // namespace
}  // namespace tg
